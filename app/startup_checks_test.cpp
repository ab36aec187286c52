#include "app/startup_checks.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "util/process_util.h"
#include "util/scoped_handle.h"

namespace {

const char kPersistedKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
    "Compatibility Assistant\\Persisted";

TEST(StartupChecksTest, AdministratorMembershipFollowsTheThreadToken) {
  // The Wine user is an administrator: there is no limited account to start
  // the installer as, so M2 itself cannot be shown here.
  EXPECT_TRUE(IsUserAdmin());

  // A thread impersonating a token whose Administrators group is deny-only
  // (what a filtered UAC token has) is not counted as an administrator.
  HANDLE process_token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process_token));
  tn::ScopedHandle owned_process_token(process_token);
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators));
  SID_AND_ATTRIBUTES disabled = {administrators, 0};
  HANDLE restricted = nullptr;
  const BOOL made =
      CreateRestrictedToken(process_token, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted);
  FreeSid(administrators);
  ASSERT_TRUE(made);
  tn::ScopedHandle owned_restricted(restricted);
  HANDLE impersonation = nullptr;
  ASSERT_TRUE(DuplicateToken(restricted, SecurityImpersonation, &impersonation));
  tn::ScopedHandle owned_impersonation(impersonation);
  ASSERT_TRUE(SetThreadToken(nullptr, impersonation));
  const bool admin_while_filtered = IsUserAdmin();
  RevertToSelf();
  EXPECT_FALSE(admin_while_filtered);
  EXPECT_TRUE(IsUserAdmin());
}

TEST(StartupChecksTest, CompatibilityValueNeedsAnExistingKey) {
  RegDeleteKeyA(HKEY_CURRENT_USER, kPersistedKey);
  EXPECT_FALSE(SetCompatAssistantFlag());
  tn::ScopedRegKey missing;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kPersistedKey, 0, KEY_READ, missing.Receive()),
            ERROR_SUCCESS)
      << "the key must not be created";

  tn::ScopedRegKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPersistedKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_TRUE(SetCompatAssistantFlag());
  const std::string own_path = CurrentModulePath();
  ASSERT_FALSE(own_path.empty());
  DWORD type = 0, data = 0, size = sizeof(data);
  ASSERT_EQ(RegQueryValueExA(key.Get(), own_path.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(&data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, 1u);
  RegDeleteValueA(key.Get(), own_path.c_str());
}

TEST(StartupChecksTest, ProductRunningMatchesTheWholeNameInAnyCase) {
  tn_test::ScopedTempDir dir;
  EXPECT_FALSE(IsSimulatorRunning());
  {
    tn::ScopedHandle longer = tn_test::StartIdleProgramAs(dir.path(), "xZEVodirodaz.exe");
    ASSERT_TRUE(longer.IsValid());
    bool started = false;
    for (int i = 0; i < 50 && !started; ++i, Sleep(100))
      started = IsProcessRunning("xZEVodirodaz.exe");
    ASSERT_TRUE(started);
    EXPECT_FALSE(IsSimulatorRunning()) << "a longer name must not match";
    TerminateProcess(longer.Get(), 0);
    WaitForSingleObject(longer.Get(), 5000);
  }
  tn::ScopedHandle product = tn_test::StartIdleProgramAs(dir.path(), "zevodirodaz.EXE");
  ASSERT_TRUE(product.IsValid());
  bool running = false;
  for (int i = 0; i < 50 && !running; ++i, Sleep(100)) running = IsSimulatorRunning();
  EXPECT_TRUE(running);
  TerminateProcess(product.Get(), 0);
  WaitForSingleObject(product.Get(), 5000);
}

TEST(StartupChecksTest, DllRedirectionNextToTheExecutable) {
  tn_test::ScopedTempDir dir;
  const std::string exe = dir.Join("setup.exe");
  EXPECT_FALSE(HasDllRedirection(exe));
  ASSERT_TRUE(CreateDirectoryA((exe + ".local").c_str(), nullptr));
  EXPECT_TRUE(HasDllRedirection(exe));
  RemoveDirectoryA((exe + ".local").c_str());
  ASSERT_TRUE(tn_test::WriteFileBytes(exe + ".local", ""));
  EXPECT_TRUE(HasDllRedirection(exe));
  EXPECT_FALSE(HasDllRedirection(""));
}

TEST(StartupChecksTest, DllSearchRestriction) {
  // Wine exports SetDefaultDllDirectories; a system library still loads.
  EXPECT_TRUE(RestrictDllSearchToSystemFolder());
  tn::ScopedLibrary library(LoadLibraryA("version.dll"));
  EXPECT_TRUE(library.IsValid());
}

}  // namespace
