#include "actions/previous_install.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "actions/shortcuts.h"
#include "config/ini_info_manager.h"
#include "tests/support/test_support.h"
#include "util/process_util.h"

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
  return path;
}

class PreviousInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_->ClearAll();
    table_->AddIniData("AUTO_RUN", "AutoRunName1", "TNZiduvaZevi.exe");
    parent_ = dir_.Join("Apps");
    old_dir_ = parent_ + "\\ZEVodirodaz";
    CreateDirectoryA(parent_.c_str(), nullptr);
    CreateDirectoryA(old_dir_.c_str(), nullptr);
    CreateDirectoryA((old_dir_ + "\\data").c_str(), nullptr);
    tn_test::WriteFileBytes(old_dir_ + "\\ZEVodirodaz.exe", "old program");
    tn_test::WriteFileBytes(old_dir_ + "\\data\\a.bin", "data");
  }
  void TearDown() override { table_->ClearAll(); }
  void WriteList(const std::string& xml) {
    ASSERT_TRUE(tn_test::WriteFileBytes(parent_ + "\\DeleteFile.xml", xml));
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  tn_test::ScopedTempDir dir_;
  std::string parent_;
  std::string old_dir_;
};

TEST_F(PreviousInstallTest, DeleteListFilesAndFoldersInOrder) {
  const std::string file = dir_.Join("listed.txt");
  const std::string kept = dir_.Join("kept.txt");
  const std::string folder = dir_.Join("listed folder");
  const std::string a_directory = dir_.Join("not a file");
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA(a_directory.c_str(), nullptr);
  tn_test::WriteFileBytes(folder + "\\inside.txt", "x");
  tn_test::WriteFileBytes(file, "x");
  tn_test::WriteFileBytes(kept, "x");
  // The root's name does not matter; entries after the first are taken
  // whatever their names; an entry naming a directory fails and the next
  // one is still processed; an empty entry and one with blanks around it
  // are skipped.
  WriteList("<List><DeleteFiles><DeleteFile>" + a_directory + "</DeleteFile><DeleteFile/>" +
            "<Other>" + file + "</Other><DeleteFile> " + kept + "</DeleteFile></DeleteFiles>" +
            "<DeleteFolders><DeleteFolder>" + folder + "</DeleteFolder></DeleteFolders></List>");
  DeleteListedFiles(old_dir_);
  EXPECT_FALSE(Exists(file));
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(Exists(a_directory));
  EXPECT_TRUE(Exists(kept));
  EXPECT_TRUE(Exists(old_dir_)) << "the list names what to delete, not the directory";
}

TEST_F(PreviousInstallTest, DeleteListWithOnlyFoldersOrBrokenOrMissing) {
  const std::string file = dir_.Join("file.txt");
  const std::string folder = dir_.Join("folder");
  tn_test::WriteFileBytes(file, "x");
  CreateDirectoryA(folder.c_str(), nullptr);
  WriteList("<Root><DeleteFolders><DeleteFolder>" + folder + "</DeleteFolder></DeleteFolders>" +
            "<DeleteFile>" + file + "</DeleteFile></Root>");
  DeleteListedFiles(old_dir_);
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(Exists(file)) << "a DeleteFile outside DeleteFiles is no entry";

  WriteList("<Root><DeleteFiles><DeleteFile>" + file + "</DeleteFile></DeleteFiles>");
  DeleteListedFiles(old_dir_);
  EXPECT_TRUE(Exists(file)) << "a list that is not well-formed does nothing";
  DeleteFileA((parent_ + "\\DeleteFile.xml").c_str());
  DeleteListedFiles(old_dir_);
  DeleteListedFiles("");
}

TEST_F(PreviousInstallTest, DeleteListNeverTouchesRootsOrSystemFolders) {
  const std::string marker = "C:\\tn_delete_list_marker.txt";
  ASSERT_TRUE(tn_test::WriteFileBytes(marker, "x"));
  const std::string windows = SpecialFolder(CSIDL_WINDOWS);
  const std::string next = dir_.Join("after the refusals");
  CreateDirectoryA(next.c_str(), nullptr);
  WriteList("<R><DeleteFiles><DeleteFile>C:\\</DeleteFile><DeleteFile>" + windows +
            "</DeleteFile><DeleteFile>tn_delete_list_marker.txt</DeleteFile></DeleteFiles>" +
            "<DeleteFolders><DeleteFolder>C:\\</DeleteFolder><DeleteFolder>" + windows +
            "</DeleteFolder><DeleteFolder>" + windows + "\\..</DeleteFolder><DeleteFolder>" +
            next + "</DeleteFolder></DeleteFolders></R>");
  DeleteListedFiles(old_dir_);
  EXPECT_TRUE(Exists(marker));
  EXPECT_TRUE(Exists(windows + "\\system32"));
  EXPECT_FALSE(Exists(next)) << "the entries after the refused ones still count";
  DeleteFileA(marker.c_str());
}

TEST_F(PreviousInstallTest, PathRules) {
  EXPECT_TRUE(IsLocalAbsolutePath("C:\\x"));
  EXPECT_TRUE(IsLocalAbsolutePath("d:\\Apps\\ZEVodirodaz"));
  for (const char* path : {"", "C:", "C:\\", "C:x", "\\\\server\\share\\x", "\\x", "x\\y",
                           "C:\\\\x", " C:\\x", "1:\\x"}) {
    EXPECT_FALSE(IsLocalAbsolutePath(path)) << path;
  }
  EXPECT_TRUE(IsRemovablePreviousInstallDir(old_dir_));
  EXPECT_FALSE(IsRemovablePreviousInstallDir(SpecialFolder(CSIDL_PROGRAM_FILES)));
  EXPECT_FALSE(IsRemovablePreviousInstallDir(SpecialFolder(CSIDL_WINDOWS)));
}

TEST_F(PreviousInstallTest, ConfiguredProcessesAreEndedByExactName) {
  table_->AddIniData("KILL_PROGRESS", "Other", "tn_kill_other.exe");
  table_->AddIniData("KILL_PROGRESS", "Progress", "tn_kill_a.exe;;tn_Kill_Case.exe;");
  tn::ScopedHandle exact = tn_test::StartIdleProgramAs(dir_.path(), "tn_kill_a.exe");
  tn::ScopedHandle other_case = tn_test::StartIdleProgramAs(dir_.path(), "tn_kill_case.exe");
  tn::ScopedHandle other_key = tn_test::StartIdleProgramAs(dir_.path(), "tn_kill_other.exe");
  ASSERT_TRUE(exact && other_case && other_key);
  TerminateConfiguredProcesses();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(exact.Get(), 5000));
  // Found by the running test, which ignores case, but not ended: the end
  // compares exactly.
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(other_case.Get(), 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(other_key.Get(), 0));
  TerminateProcess(other_case.Get(), 0);
  TerminateProcess(other_key.Get(), 0);
}

TEST_F(PreviousInstallTest, WholeRemovalTakesDirectoryLinksAndFolders) {
  InstallState state;
  state.m_strOldInstallDir = old_dir_;
  state.m_strDisplayName = "TnRemovalTest";
  state.m_strDisplayIcon = "ZEVodirodaz.exe";
  const std::string target = old_dir_ + "\\ZEVodirodaz.exe";
  ASSERT_TRUE(CreateShortcut(Desktop, target, state.m_strDisplayName, false));
  ASSERT_TRUE(CreateShortcut(StartMenu, target, state.m_strDisplayName, false));
  CreateDirectoryA(QuickLaunchFolder().c_str(), nullptr);
  CreateShortcut(QuickLaunch, target, state.m_strDisplayName, false);
  const std::string startup = SpecialFolder(CSIDL_STARTUP);
  CreateAutoStartShortcut(startup, old_dir_);
  const std::string desktop_link =
      SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\" + state.m_strDisplayName + ".lnk";
  const std::string start_menu = SpecialFolder(CSIDL_PROGRAMS) + "\\" + kStartMenuFolderName;
  const std::string auto_start = startup + "\\TNZiduvaZevi.lnk";
  ASSERT_TRUE(Exists(desktop_link) && Exists(start_menu) && Exists(auto_start));

  RemovePreviousInstallation(state);
  EXPECT_FALSE(Exists(old_dir_));
  EXPECT_FALSE(Exists(desktop_link));
  EXPECT_FALSE(Exists(start_menu));
  EXPECT_FALSE(Exists(auto_start));
  EXPECT_FALSE(Exists(QuickLaunchFolder() + "\\" + state.m_strDisplayName + ".lnk"));
}

TEST_F(PreviousInstallTest, NothingToRemoveWithoutAPreviousDirectory) {
  InstallState state;
  const DWORD start = GetTickCount();
  RemovePreviousInstallation(state);
  EXPECT_LT(GetTickCount() - start, 150u) << "no pause either";
  EXPECT_TRUE(Exists(old_dir_));
}

}  // namespace
