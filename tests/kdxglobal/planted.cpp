// Test-only DLL planted beside a program under a system DLL's name (and a
// name of its own) to show the system-DLL loader never takes it.
#include <windows.h>

extern "C" __declspec(dllexport) int PlantedMarker() { return 1; }
