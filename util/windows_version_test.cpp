#include "util/windows_version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The harness runs this program in a prefix whose version it may set
// (TN_EXPECT_WINDOWS=win7/win10); without it, compare with the kernel's own
// numbers as RtlGetVersion reports them.
TEST(IsNtVersion10Test, MatchesTheKernelVersion) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(get_version, nullptr);
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_EQ(get_version(&info), 0);
  EXPECT_EQ(IsNtVersion10(), info.dwMajorVersion == 10 && info.dwMinorVersion == 0)
      << "kernel reports " << info.dwMajorVersion << "." << info.dwMinorVersion;

  const char* expected = std::getenv("TN_EXPECT_WINDOWS");
  if (expected && std::string(expected) == "win10") {
    EXPECT_TRUE(IsNtVersion10());
  }
  if (expected && std::string(expected) != "win10") {
    EXPECT_FALSE(IsNtVersion10());
  }
}

}  // namespace
