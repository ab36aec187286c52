// Keeps one file open without sharing it, as another program might, until
// it is ended: hold_file.exe PATH. Exits 1 at once when it cannot open it.
#include <windows.h>

#include "util/scoped_handle.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const tn::ScopedHandle file(
      CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return 1;
  Sleep(300000);
  return 0;
}
