// A library that is not the archive library: it lacks "CreateObject".
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI GetArchiveVersion() { return 0; }
