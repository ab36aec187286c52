#include "app/startup_checks.h"

#include "util/process_util.h"
#include "util/scoped_handle.h"

const char kSkinErrorCaption[] = "错误";
const char kSkinLoadFailedText[] = "加载资源失败!";
const char kNotAdminText[] = "检测到系统用户不具有管理员权限，请切换管理员账户后再进行安装!";
const char kProductRunningText[] = "检测到Tarnis模拟器正在运行,请退出后再进行安装!";
const char kAlreadyRunningText[] = "Tarnis模拟器安装程序已经运行!";
const char kInstallerMutexName[] = "TNInstaller";
const char kProductExeName[] = "ZEVodirodaz.exe";

namespace {

const char kCompatPersistedKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
    "Compatibility Assistant\\Persisted";
// KEY_READ | KEY_WRITE, as the assistant's own key is opened.
const REGSAM kCompatKeyAccess = 0x2001F;

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

}  // namespace

bool RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (!set_default) return false;
  return set_default(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

bool HasDllRedirection(const std::string& exe_path) {
  if (exe_path.empty()) return false;
  // Any kind of entry counts: Windows honours both a folder and a file.
  return GetFileAttributesA((exe_path + ".local").c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string CurrentModulePath() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(path, length);
}

bool IsUserAdmin() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

bool SetCompatAssistantFlag() {
  tn::ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kCompatPersistedKey, 0, kCompatKeyAccess, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::string own_path = CurrentModulePath();
  if (own_path.empty()) return false;
  const DWORD handled = 1;
  return RegSetValueExA(key.Get(), own_path.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&handled), sizeof(handled)) == ERROR_SUCCESS;
}

bool IsSimulatorRunning() { return IsProcessRunning(kProductExeName); }
