// Entry point of the installer.
#include <windows.h>

#include "app/installer_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunInstaller(instance); }
