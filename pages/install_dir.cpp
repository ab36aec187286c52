#include "pages/install_dir.h"

#include <windows.h>

const char kProductFolderName[] = "ZEVodirodaz";
const char kDefaultInstallDirWow64[] = "C:\\Program Files (x86)\\ZEVodirodaz";
const char kDefaultInstallDirNative[] = "C:\\Program Files\\ZEVodirodaz";

bool IsCurrentProcessWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleA("kernel32");
  if (!kernel) return false;
  auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  if (!is_wow64) return false;
  BOOL wow64 = FALSE;
  if (!is_wow64(GetCurrentProcess(), &wow64)) return false;
  return wow64 != FALSE;
}

std::string DefaultInstallDirectory() {
  return IsCurrentProcessWow64() ? kDefaultInstallDirWow64 : kDefaultInstallDirNative;
}

std::string InstallDirFromChosenFolder(const std::string& folder) {
  if (folder.empty()) return std::string();
  std::string result = folder;
  // Walk by characters: the trail byte of a GBK character may be 0x5C, which
  // is not a separator.
  size_t last_char = 0;
  for (size_t i = 0; i < result.size(); ++i) {
    last_char = i;
    if (IsDBCSLeadByteEx(936, static_cast<BYTE>(result[i])) && i + 1 < result.size()) ++i;
  }
  if (result[last_char] == '\\' && last_char == result.size() - 1) result.pop_back();
  return result + "\\" + kProductFolderName;
}

bool HasDoubleByteSequence(const char* text) {
  if (!text) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (p[0] >= 0x80 && p[1] >= 0x80) return true;
  }
  return false;
}
