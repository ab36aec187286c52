#include "actions/uninstall_entry.h"

#include <windows.h>

#include <cctype>
#include <climits>
#include <cstring>

#include "actions/previous_install.h"
#include "config/ini_info_manager.h"
#include "util/scoped_handle.h"

namespace {

// KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY
constexpr REGSAM kUninstallKeyAccess = 0x2001F;
constexpr DWORD kDisplayIconBufferSize = 1024;

}  // namespace

long ParseLeadingInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    // Saturate instead of overflowing, as the runtime's conversion does.
    if (value > static_cast<long long>(LONG_MAX) + 1) value = static_cast<long long>(LONG_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > LONG_MAX) return LONG_MAX;
  if (value < LONG_MIN) return LONG_MIN;
  return static_cast<long>(value);
}

std::string FindPreviousInstallDirectory(const std::string& reg_key_name) {
  const std::string subkey = kUninstallKeyBranch + reg_key_name;
  tn::ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, kUninstallKeyAccess, key.Receive()) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  char buffer[kDisplayIconBufferSize] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  const LONG status = RegQueryValueExA(key.Get(), "DisplayIcon", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  key.Reset();
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
  // Data that does not end with its NUL is not a string that can be trusted.
  if (size != 0 && buffer[size - 1] != '\0') return std::string();
  std::string directory(buffer, strnlen(buffer, size));
  const size_t slash = directory.find_last_of('\\');
  if (slash != std::string::npos) directory.resize(slash);
  if (directory.empty()) return std::string();
  if (!IsRemovablePreviousInstallDir(directory)) {
    OutputDebugStringA("之前安装的目录不可删除，不做清理");
    return std::string();
  }
  return directory;
}

bool RegisterUninstallEntry(const InstallState& state, std::string* display_name) {
  const std::string subkey = kUninstallKeyBranch + state.m_strRegKeyName;
  tn::ScopedRegKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      kUninstallKeyAccess, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  CIniInfoList records;
  CIniInfoManager::GetInstance()->GetSectionData("TARNIS_INFO", &records);
  for (const CIniInfoData* record : records) {
    const std::string& name = record->m_strKey;
    std::string value = record->m_strValue;
    if (name == "RegeditKeyName") continue;
    if (name == "DisplayName" && display_name) *display_name = value;
    if (name == "DisplayIcon" || name == "UninstallString") {
      value = state.m_strInstallDir + "\\" + value;
    }
    // A failed write leaves this one value out; the others still go in.
    if (record->m_bNumeric) {
      const DWORD number = static_cast<DWORD>(ParseLeadingInteger(value));
      static_cast<void>(RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&number), sizeof(number)));
    } else {
      static_cast<void>(RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1)));
    }
  }
  return true;
}
