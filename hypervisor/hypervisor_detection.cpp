#include "hypervisor/hypervisor_detection.h"

#include <windows.h>

#include <cctype>
#include <climits>
#include <string>

#include "util/scoped_handle.h"
#include "util/string_util.h"

namespace {

constexpr char kAppPathsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vmware.exe";
constexpr char kVersionKey[] = "SOFTWARE\\Wow6432Node\\VMware, Inc.\\VMware Workstation";
constexpr DWORD kVersionBufferSize = 1024;

}  // namespace

unsigned long HypervisorKeyAccess() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64) return KEY_READ;
  return KEY_READ | KEY_WOW64_64KEY;
}

int ParseMajorVersion(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p && std::isspace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value <= INT_MAX) value = value * 10 + (*p - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int GetHypervisorMajorVersion() {
  tn::ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, HypervisorKeyAccess(), key.Receive()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  char buffer[kVersionBufferSize] = {};
  DWORD type = 0;
  DWORD size = kVersionBufferSize;
  if (RegQueryValueExA(key.Get(), "ProductVersion", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS) {
    return 0;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return 0;
  if (size != 0 && buffer[size - 1] != '\0') return 0;
  const std::string version(buffer);
  return ParseMajorVersion(SplitString(version, ".").front().c_str());
}

bool IsHypervisorSetupNeeded() {
  {
    tn::ScopedRegKey app_paths;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, HypervisorKeyAccess(),
                      app_paths.Receive()) != ERROR_SUCCESS) {
      return true;
    }
  }
  return GetHypervisorMajorVersion() != kRequiredHypervisorMajorVersion;
}
