// Runs the real uninstall.exe against fake installations made by the test:
// files, uninstall keys in both registry views, shortcuts and a running
// background program.
#include "sample/uninstaller.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "sample/product_names.h"
#include "sample/sample_test_support.h"
#include "util/file_util.h"
#include "util/process_util.h"
#include "util/text_encoding.h"

namespace {

using sample_test::WaitForExit;

const std::string kProductLink = std::string(sample::kProductName) + ".lnk";
const std::string kUninstallLink =
    std::string(sample::kUninstallLinkPrefix) + sample::kProductName + ".lnk";
const std::string kAutoRunLink = std::string(sample::kAutoRunLinkName) + ".lnk";

std::string Folder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
  return path;
}

std::string QuickLaunchFolder() { return Folder(CSIDL_APPDATA) + sample::kQuickLaunchSubfolder; }
std::string StartMenuFolder() {
  return Folder(CSIDL_PROGRAMS) + "\\" + sample::kStartMenuFolderName;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeLink(const std::string& link_file, const std::string& target) {
  tn::ScopedComInit com;
  tn::ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.ReceiveVoid()))) {
    return false;
  }
  tn::ComPtr<IPersistFile> file;
  return SUCCEEDED(link->SetPath(target.c_str())) && SUCCEEDED(link.As(&file, IID_IPersistFile)) &&
         SUCCEEDED(file->Save(AnsiPathToWide(link_file).c_str(), TRUE));
}

std::string UninstallKeyPath() {
  return std::string(sample::kUninstallBranch) + "\\" + sample::kUninstallKeyName;
}

bool WriteUninstallKey(REGSAM view, const std::string& install_dir) {
  tn::ScopedRegKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath().c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS | view, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::string icon = install_dir + "\\" + sample::kMainProgram;
  const std::string uninstall = install_dir + "\\" + sample::kUninstallProgram;
  return RegSetValueExA(key.Get(), "DisplayIcon", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(icon.c_str()),
                        icon.size() + 1) == ERROR_SUCCESS &&
         RegSetValueExA(key.Get(), "UninstallString", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(uninstall.c_str()),
                        uninstall.size() + 1) == ERROR_SUCCESS;
}

bool UninstallKeyExists(REGSAM view) {
  tn::ScopedRegKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath().c_str(), 0, KEY_READ | view,
                       key.Receive()) == ERROR_SUCCESS;
}

void DeleteUninstallKeys() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    tn::ScopedRegKey branch;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sample::kUninstallBranch, 0, KEY_ALL_ACCESS | view,
                      branch.Receive()) == ERROR_SUCCESS) {
      RegDeleteTreeA(branch.Get(), sample::kUninstallKeyName);
    }
  }
}

bool WaitUntilGone(const std::string& path, DWORD timeout_ms) {
  const DWORD begin = GetTickCount();
  while (Exists(path)) {
    if (GetTickCount() - begin > timeout_ms) return false;
    Sleep(100);
  }
  return true;
}

class UninstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    DeleteUninstallKeys();
    RemoveShortcuts();
  }
  void TearDown() override {
    DeleteUninstallKeys();
    RemoveShortcuts();
    (void)TerminateProcessesByName(sample::kAutoRunProgram);
  }

  static void RemoveShortcuts() {
    (void)RemoveDirectoryTree(StartMenuFolder());
    for (const std::string& link :
         {Folder(CSIDL_DESKTOPDIRECTORY) + "\\" + kProductLink,
          QuickLaunchFolder() + "\\" + kProductLink, Folder(CSIDL_STARTUP) + "\\" + kAutoRunLink}) {
      DeleteFileA(link.c_str());
    }
  }

  // A product folder with every program, nested data and a read-only file.
  std::string MakeInstallation(const std::string& name) {
    const std::string dir = temp_.Join(name);
    EXPECT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    for (const char* program :
         {sample::kMainProgram, sample::kAutoRunProgram, sample::kReportProgram,
          sample::kUninstallProgram, sample::kHypervisorSetupProgram}) {
      EXPECT_TRUE(sample_test::CopyProductFile(program, dir)) << program;
    }
    CreateDirectoryA((dir + "\\data").c_str(), nullptr);
    CreateDirectoryA((dir + "\\data\\deep").c_str(), nullptr);
    EXPECT_TRUE(
        tn_test::WriteFileBytes(dir + "\\data\\deep\\state.bin", std::string(5000, '\x7f')));
    EXPECT_TRUE(tn_test::WriteFileBytes(dir + "\\data\\locked.txt", "read only"));
    SetFileAttributesA((dir + "\\data\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    return dir;
  }

  // The links the installer makes for an installation in |dir|.
  void MakeShortcuts(const std::string& dir) {
    const std::string main = dir + "\\" + sample::kMainProgram;
    CreateDirectoryA(StartMenuFolder().c_str(), nullptr);
    SHCreateDirectoryExA(nullptr, QuickLaunchFolder().c_str(), nullptr);
    ASSERT_TRUE(MakeLink(StartMenuFolder() + "\\" + kProductLink, main));
    ASSERT_TRUE(MakeLink(StartMenuFolder() + "\\" + kUninstallLink,
                         dir + "\\" + sample::kUninstallProgram));
    ASSERT_TRUE(MakeLink(Folder(CSIDL_DESKTOPDIRECTORY) + "\\" + kProductLink, main));
    ASSERT_TRUE(MakeLink(QuickLaunchFolder() + "\\" + kProductLink, main));
    ASSERT_TRUE(MakeLink(Folder(CSIDL_STARTUP) + "\\" + kAutoRunLink,
                         dir + "\\" + sample::kAutoRunProgram));
  }

  DWORD RunUninstaller(const std::string& dir) {
    tn::ScopedHandle process = sample_test::StartWithShow(
        "\"" + dir + "\\" + sample::kUninstallProgram + "\" /S", dir, false, 0);
    return WaitForExit(process, 60000);
  }

  tn_test::ScopedTempDir temp_;
  sample_test::ScopedRecordFile record_;
};

TEST_F(UninstallerTest, RemovesTheWholeInstallation) {
  const std::string dir = MakeInstallation("Tarnis 模拟器");
  MakeShortcuts(dir);
  ASSERT_TRUE(WriteUninstallKey(KEY_WOW64_32KEY, dir));
  ASSERT_TRUE(WriteUninstallKey(KEY_WOW64_64KEY, dir));
  tn::ScopedHandle background =
      tn_test::StartProcess("\"" + dir + "\\" + sample::kAutoRunProgram + "\"", dir);
  ASSERT_FALSE(record_.WaitFor(sample::kAutoRunProgram, "start").empty());

  EXPECT_EQ(static_cast<DWORD>(sample::kUninstallDone), RunUninstaller(dir));
  // The background program was asked to stop rather than killed.
  EXPECT_EQ(0u, WaitForExit(background, 5000));
  EXPECT_FALSE(record_.WaitFor(sample::kAutoRunProgram, "stop", 0).empty());

  EXPECT_TRUE(WaitUntilGone(dir, 20000)) << "install directory left behind";
  EXPECT_FALSE(UninstallKeyExists(KEY_WOW64_32KEY));
  EXPECT_FALSE(UninstallKeyExists(KEY_WOW64_64KEY));
  EXPECT_FALSE(Exists(StartMenuFolder()));
  EXPECT_FALSE(Exists(Folder(CSIDL_DESKTOPDIRECTORY) + "\\" + kProductLink));
  EXPECT_FALSE(Exists(QuickLaunchFolder() + "\\" + kProductLink));
  EXPECT_FALSE(Exists(Folder(CSIDL_STARTUP) + "\\" + kAutoRunLink));

  const auto finish = record_.WaitFor(sample::kUninstallProgram, "finish", 0);
  EXPECT_EQ("5", sample::FindField(finish, "links_removed"));
  // A 32-bit prefix has one view only.
  EXPECT_NE("0", sample::FindField(finish, "keys_removed", "0"));
}

TEST_F(UninstallerTest, LeavesAnotherInstallationAlone) {
  // The key and some links belong to a newer installation elsewhere: this
  // installation's uninstaller must not break it.
  const std::string dir = MakeInstallation("old");
  const std::string other = MakeInstallation("new");
  MakeShortcuts(other);
  ASSERT_TRUE(
      MakeLink(StartMenuFolder() + "\\" + kUninstallLink, dir + "\\" + sample::kUninstallProgram));
  ASSERT_TRUE(WriteUninstallKey(KEY_WOW64_32KEY, other));

  EXPECT_EQ(static_cast<DWORD>(sample::kUninstallDone), RunUninstaller(dir));
  EXPECT_TRUE(WaitUntilGone(dir, 20000));

  EXPECT_TRUE(UninstallKeyExists(KEY_WOW64_32KEY));
  EXPECT_TRUE(Exists(other + "\\" + sample::kMainProgram));
  EXPECT_TRUE(Exists(StartMenuFolder() + "\\" + kProductLink));
  EXPECT_FALSE(Exists(StartMenuFolder() + "\\" + kUninstallLink));
  EXPECT_TRUE(Exists(Folder(CSIDL_DESKTOPDIRECTORY) + "\\" + kProductLink));
  EXPECT_TRUE(Exists(Folder(CSIDL_STARTUP) + "\\" + kAutoRunLink));
}

TEST_F(UninstallerTest, RefusesToRunFromARootOrSystemFolder) {
  const std::string kPlaces[] = {"C:", Folder(CSIDL_PROGRAM_FILES), Folder(CSIDL_WINDOWS)};
  for (const std::string& place : kPlaces) {
    SCOPED_TRACE(place);
    const std::string marker = place + "\\tn_uninstall_marker.txt";
    const std::string program = place + "\\" + sample::kUninstallProgram;
    ASSERT_TRUE(tn_test::WriteFileBytes(marker, "keep"));
    ASSERT_TRUE(CopyFileA(sample_test::ProductFile(sample::kUninstallProgram).c_str(),
                          program.c_str(), FALSE));
    ASSERT_TRUE(WriteUninstallKey(KEY_WOW64_32KEY, place));

    EXPECT_EQ(static_cast<DWORD>(sample::kUninstallUnsafeDirectory), RunUninstaller(place));
    EXPECT_TRUE(Exists(marker));
    EXPECT_TRUE(Exists(program));
    EXPECT_TRUE(UninstallKeyExists(KEY_WOW64_32KEY));
    DeleteFileA(marker.c_str());
    DeleteFileA(program.c_str());
    DeleteUninstallKeys();
  }
}

TEST_F(UninstallerTest, CleanupCopyRemovesOnlyItsParentsDirectory) {
  // A clean-up run handed a directory that is not the one its parent runs
  // from must not touch it, and must not wait for the parent first.
  const std::string victim = MakeInstallation("victim");
  const std::string copy = temp_.Join("tn_uninstall_probe.exe");
  ASSERT_TRUE(
      CopyFileA(sample_test::ProductFile(sample::kUninstallProgram).c_str(), copy.c_str(), FALSE));
  HANDLE raw = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &raw,
                              SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0));
  tn::ScopedHandle self(raw);
  std::string command_line = "\"" + copy + "\" /cleanup " +
                             std::to_string(reinterpret_cast<uintptr_t>(self.Get())) + " \"" +
                             victim + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessA(copy.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                             temp_.path().c_str(), &startup, &info));
  tn::ScopedHandle process(info.hProcess);
  tn::ScopedHandle thread(info.hThread);
  EXPECT_EQ(static_cast<DWORD>(sample::kUninstallUnsafeDirectory), WaitForExit(process, 10000));
  EXPECT_TRUE(Exists(victim + "\\data\\deep\\state.bin"));
}

TEST(UninstallerPathTest, IsPathInside) {
  tn_test::ScopedTempDir temp;
  const std::string dir = temp.Join("Tarnis");
  ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
  EXPECT_TRUE(sample::IsPathInside(dir + "\\a.exe", dir));
  EXPECT_TRUE(sample::IsPathInside(dir + "\\sub\\a.exe", dir + "\\"));
  EXPECT_TRUE(sample::IsPathInside(dir + "\\A.EXE", temp.Join("TARNIS")));
  EXPECT_FALSE(sample::IsPathInside(dir, dir));
  EXPECT_FALSE(sample::IsPathInside(dir + "2\\a.exe", dir));
  EXPECT_FALSE(sample::IsPathInside(dir + "\\..\\a.exe", dir));
  EXPECT_FALSE(sample::IsPathInside("", dir));
  EXPECT_FALSE(sample::IsPathInside(dir + "\\a.exe", ""));
}

}  // namespace
