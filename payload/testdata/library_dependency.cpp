// A library that another test library imports; it lies next to that one.
#include <windows.h>

extern "C" __declspec(dllexport) int DependencyValue() { return 7; }
