// The system-folder loader lives in the base layer; this name stays for its users.
#pragma once
#include "INC/SystemDll.h"
