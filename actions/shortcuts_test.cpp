#include "actions/shortcuts.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "actions/install_journal.h"
#include "config/ini_info_manager.h"
#include "tests/support/test_support.h"
#include "util/scoped_handle.h"
#include "util/text_encoding.h"

namespace {

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
  return path;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct LinkProperties {
  bool loaded = false;
  std::string target;
  std::string description = "?";
  std::string arguments = "?";
  std::string directory = "?";
  DWORD show = 0;
};

LinkProperties ReadLink(const std::string& link_file) {
  LinkProperties result;
  tn::ScopedComInit com;
  tn::ComPtr<IShellLinkA> link;
  tn::ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.ReceiveVoid())) ||
      FAILED(link.As(&file, IID_IPersistFile)) ||
      FAILED(file->Load(AnsiPathToWide(link_file).c_str(), STGM_READ))) {
    return result;
  }
  result.loaded = true;
  char text[MAX_PATH * 2] = {};
  link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
  result.target = text;
  text[0] = '\0';
  link->GetDescription(text, sizeof(text));
  result.description = text;
  text[0] = '\0';
  link->GetArguments(text, sizeof(text));
  result.arguments = text;
  text[0] = '\0';
  link->GetWorkingDirectory(text, sizeof(text));
  result.directory = text;
  // Wine's link object does not give the stored show command back; the
  // header keeps it at offset 0x3C.
  const std::string bytes = tn_test::ReadFileBytes(link_file);
  if (bytes.size() >= 0x40) result.show = *reinterpret_cast<const DWORD*>(bytes.data() + 0x3C);
  return result;
}

class ShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_->ClearAll();
    target_ = dir_.Join("ZEVodirodaz.exe");
    tn_test::WriteFileBytes(target_, "program");
    journal_.Begin();
  }
  void TearDown() override {
    // What the removals moved aside goes with the commit.
    journal_.Commit();
    EXPECT_TRUE(journal_.WaitForCleanup(20000));
    table_->ClearAll();
    RemoveDirectoryTreeOfStartMenu();
  }
  static void RemoveDirectoryTreeOfStartMenu() {
    const std::string folder = SpecialFolder(CSIDL_PROGRAMS) + "\\" + kStartMenuFolderName;
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle find(FindFirstFileA((folder + "\\*.lnk").c_str(), &data));
    if (find) {
      do DeleteFileA((folder + "\\" + data.cFileName).c_str());
      while (FindNextFileA(find.Get(), &data));
    }
    RemoveDirectoryA(folder.c_str());
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  tn_test::ScopedTempDir dir_;
  std::string target_;
  CInstallJournal journal_{dir_.Join("journal.txt")};
};

TEST_F(ShortcutsTest, StartMenuLinkHasExactlyTheThreeProperties) {
  const std::string folder = SpecialFolder(CSIDL_PROGRAMS) + "\\" + kStartMenuFolderName;
  ASSERT_FALSE(Exists(folder));
  ASSERT_TRUE(CreateShortcut(StartMenu, target_, "TnLink", false));
  // The second call finds the folder made by the first.
  ASSERT_TRUE(CreateShortcut(StartMenu, target_, "卸载TnLink", false));
  const LinkProperties link = ReadLink(folder + "\\TnLink.lnk");
  ASSERT_TRUE(link.loaded);
  EXPECT_EQ(target_, link.target);
  EXPECT_EQ("", link.description);
  EXPECT_EQ("", link.arguments);
  EXPECT_EQ("", link.directory);
  EXPECT_EQ(static_cast<DWORD>(SW_SHOW), link.show);
  EXPECT_TRUE(ReadLink(folder + "\\卸载TnLink.lnk").loaded);
  // Overwritten in place when made again.
  const std::string other = dir_.Join("other.exe");
  ASSERT_TRUE(CreateShortcut(StartMenu, other, "TnLink", false));
  EXPECT_EQ(other, ReadLink(folder + "\\TnLink.lnk").target);
}

TEST_F(ShortcutsTest, ChineseNamesReachTheDiskAsTheirCharacters) {
  ASSERT_TRUE(CreateShortcut(Desktop, target_, "Tarnis模拟器", false));
  const std::wstring wide =
      AnsiPathToWide(SpecialFolder(CSIDL_DESKTOPDIRECTORY)) + L"\\Tarnis\u6A21\u62DF\u5668.lnk";
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));
  RemoveDesktopShortcut("Tarnis模拟器", &journal_);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));
}

TEST_F(ShortcutsTest, EmptyDisplayNameGivesBareLinkNames) {
  ASSERT_TRUE(CreateShortcut(StartMenu, target_, "", false));
  EXPECT_TRUE(Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\" + kStartMenuFolderName + "\\.lnk"));
}

TEST_F(ShortcutsTest, DesktopRemovalTriesTheExeNameFirst) {
  const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  ASSERT_TRUE(CreateShortcut(Desktop, target_, "TnDesk.exe", false));
  ASSERT_TRUE(CreateShortcut(Desktop, target_, "TnDesk", false));
  RemoveDesktopShortcut("TnDesk", &journal_);
  EXPECT_FALSE(Exists(desktop + "\\TnDesk.exe.lnk"));
  EXPECT_TRUE(Exists(desktop + "\\TnDesk.lnk")) << "only the first of the two goes";
  RemoveDesktopShortcut("TnDesk", &journal_);
  EXPECT_FALSE(Exists(desktop + "\\TnDesk.lnk"));
}

TEST_F(ShortcutsTest, AutoStartLinksFollowTheConfiguration) {
  const std::string startup = dir_.Join("Startup");
  CreateDirectoryA(startup.c_str(), nullptr);
  CreateAutoStartShortcut(startup, dir_.path());
  EXPECT_FALSE(Exists(startup + "\\TNZiduvaZevi.lnk")) << "no AUTO_RUN entry, no link";

  table_->AddIniData("AUTO_RUN", "AutoRunName2", "Second.exe");
  table_->AddIniData("AUTO_RUN", "AutoRunName1", "TNZiduvaZevi.exe");
  table_->AddIniData("AUTO_RUN", "AutoRunName1", "abc");
  CreateAutoStartShortcut(startup, dir_.path());
  const LinkProperties link = ReadLink(startup + "\\TNZiduvaZevi.lnk");
  ASSERT_TRUE(link.loaded);
  EXPECT_EQ(dir_.Join("TNZiduvaZevi.exe"), link.target);
  EXPECT_EQ(static_cast<DWORD>(SW_SHOW), link.show);
  EXPECT_TRUE(Exists(startup + "\\abc.lnk")) << "a name shorter than four is used whole";
  EXPECT_FALSE(Exists(startup + "\\Second.lnk"));

  // The removal takes the real Startup folder's links of the same names.
  const std::string real_startup = SpecialFolder(CSIDL_STARTUP);
  CreateAutoStartShortcut(real_startup, dir_.path());
  ASSERT_TRUE(Exists(real_startup + "\\TNZiduvaZevi.lnk"));
  RemoveAutoStartShortcut(&journal_);
  EXPECT_FALSE(Exists(real_startup + "\\TNZiduvaZevi.lnk"));
  EXPECT_FALSE(Exists(real_startup + "\\abc.lnk"));
}

TEST_F(ShortcutsTest, QuickLaunchLinkIsSavedWhereTheFolderExists) {
  const std::string folder = QuickLaunchFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(std::string::npos, folder.find("\\Microsoft\\Internet Explorer\\Quick Launch"));
  // Windows has the folder in every profile; a fresh Wine prefix does not.
  SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
  ASSERT_TRUE(CreateShortcut(QuickLaunch, target_, "TnQuick", false));
  EXPECT_EQ(target_, ReadLink(folder + "\\TnQuick.lnk").target);
  // Unpinning leaves no Quick Launch link behind.
  UnpinFromTaskbar(target_, "TnQuick", &journal_);
  EXPECT_FALSE(Exists(folder + "\\TnQuick.lnk"));
}

}  // namespace
