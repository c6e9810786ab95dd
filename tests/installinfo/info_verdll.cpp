// A module whose only content that matters is its version resource.
#include <windows.h>
extern "C" __declspec(dllexport) int InfoVerDllMarker() { return 1; }
