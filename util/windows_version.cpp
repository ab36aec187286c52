#include "util/windows_version.h"

#include <windows.h>

#include "util/scoped_handle.h"

bool IsNtVersion10() {
  // GetVersionEx lies to executables without a Windows 10 manifest entry;
  // ntdll's version numbers do not.
  using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  tn::ScopedLibrary ntdll(LoadLibraryA("ntdll.dll"));
  auto get_version = ntdll.GetProc<RtlGetNtVersionNumbersFn>("RtlGetNtVersionNumbers");
  if (!get_version) return false;
  DWORD major = 0, minor = 0, build = 0;
  get_version(&major, &minor, &build);
  return major == 10 && minor == 0;
}
