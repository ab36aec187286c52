// config_file_probe <write|delete|rename|read> <path>
// Tries one kind of access to |path| from a process of its own and exits with
// 0 on success or the Windows error code of the failure.
#include <windows.h>

#include <string>

#include "util/scoped_handle.h"

int main(int argc, char** argv) {
  if (argc != 3) return ERROR_INVALID_PARAMETER;
  const std::string mode = argv[1];
  const char* path = argv[2];
  if (mode == "delete") return DeleteFileA(path) ? 0 : static_cast<int>(GetLastError());
  if (mode == "rename") {
    const std::string target = std::string(path) + ".moved";
    return MoveFileA(path, target.c_str()) ? 0 : static_cast<int>(GetLastError());
  }
  DWORD access = 0;
  if (mode == "write") {
    access = GENERIC_WRITE;
  } else if (mode == "read") {
    access = GENERIC_READ;
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  tn::ScopedHandle file(CreateFileA(path, access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  return file ? 0 : static_cast<int>(GetLastError());
}
