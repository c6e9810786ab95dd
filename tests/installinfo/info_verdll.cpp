// A small module other tests load by a path of their choosing.
#include <windows.h>
extern "C" __declspec(dllexport) int InfoVerDllMarker() { return 1; }
