// Entry point of the installer.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "Tarnis模拟器", "TNInstall", MB_OK);
  return 0;
}
