// Removal of the agent's own registry key.
#pragma once
#include <windows.h>

// Deletes HKLM\SOFTWARE\Corvane in the view the install reads use (the
// 64-bit view on 64-bit Windows). Subkeys are not walked, so a key that has
// any is refused. 1 when the key was deleted, 0 otherwise; logs nothing.
int RemoveAgentRegistryKey();
