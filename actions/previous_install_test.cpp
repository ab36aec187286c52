#include "actions/previous_install.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

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
  // The delete list worked through a journal of the test's own that is then
  // committed: what the list took is gone for good.
  void DeleteListed(const std::string& old_dir) {
    CInstallJournal journal(dir_.Join("journal.txt"));
    journal.Begin();
    DeleteListedFiles(old_dir, &journal);
    journal.Commit();
    ASSERT_TRUE(journal.WaitForCleanup(20000));
  }
  bool RemoveCommitted(const InstallState& state) {
    CInstallJournal journal(dir_.Join("journal.txt"));
    journal.Begin();
    const bool removed = RemovePreviousInstallation(state, &journal);
    journal.Commit();
    EXPECT_TRUE(journal.WaitForCleanup(20000));
    return removed;
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
  DeleteListed(old_dir_);
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
  DeleteListed(old_dir_);
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(Exists(file)) << "a DeleteFile outside DeleteFiles is no entry";

  WriteList("<Root><DeleteFiles><DeleteFile>" + file + "</DeleteFile></DeleteFiles>");
  DeleteListed(old_dir_);
  EXPECT_TRUE(Exists(file)) << "a list that is not well-formed does nothing";
  DeleteFileA((parent_ + "\\DeleteFile.xml").c_str());
  DeleteListed(old_dir_);
  DeleteListed("");
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
            "</DeleteFolder><DeleteFolder>" + windows + "\\..</DeleteFolder><DeleteFolder>" + next +
            "</DeleteFolder></DeleteFolders></R>");
  DeleteListed(old_dir_);
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

  EXPECT_TRUE(RemoveCommitted(state));
  EXPECT_FALSE(Exists(old_dir_));
  EXPECT_FALSE(Exists(desktop_link));
  EXPECT_FALSE(Exists(start_menu));
  EXPECT_FALSE(Exists(auto_start));
  EXPECT_FALSE(Exists(QuickLaunchFolder() + "\\" + state.m_strDisplayName + ".lnk"));
}

// An earlier installation with every link the removal takes, as the
// installer would have made it.
InstallState LinkedInstallation(const std::string& old_dir) {
  InstallState state;
  state.m_strOldInstallDir = old_dir;
  state.m_strDisplayName = "TnRollBackTest";
  state.m_strDisplayIcon = "ZEVodirodaz.exe";
  const std::string target = old_dir + "\\ZEVodirodaz.exe";
  CreateShortcut(Desktop, target, state.m_strDisplayName, false);
  CreateShortcut(StartMenu, target, state.m_strDisplayName, false);
  CreateDirectoryA(QuickLaunchFolder().c_str(), nullptr);
  CreateShortcut(QuickLaunch, target, state.m_strDisplayName, false);
  CreateAutoStartShortcut(SpecialFolder(CSIDL_STARTUP), old_dir);
  return state;
}

TEST_F(PreviousInstallTest, RolledBackRemovalLeavesEverythingAsItWas) {
  const InstallState state = LinkedInstallation(old_dir_);
  const std::string listed = dir_.Join("listed.txt");
  const std::string listed_folder = dir_.Join("listed folder");
  tn_test::WriteFileBytes(listed, "listed");
  CreateDirectoryA(listed_folder.c_str(), nullptr);
  tn_test::WriteFileBytes(listed_folder + "\\inside.txt", "inside");
  // The file inside the earlier directory goes with the directory.
  WriteList("<L><DeleteFiles><DeleteFile>" + listed + "</DeleteFile><DeleteFile>" + old_dir_ +
            "\\data\\a.bin</DeleteFile></DeleteFiles><DeleteFolders><DeleteFolder>" +
            listed_folder + "</DeleteFolder></DeleteFolders></L>");
  const std::vector<std::string> files = {
      SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\TnRollBackTest.lnk",
      SpecialFolder(CSIDL_PROGRAMS) + "\\" + kStartMenuFolderName + "\\TnRollBackTest.lnk",
      QuickLaunchFolder() + "\\TnRollBackTest.lnk",
      SpecialFolder(CSIDL_STARTUP) + "\\TNZiduvaZevi.lnk",
      listed,
      listed_folder + "\\inside.txt",
      old_dir_ + "\\ZEVodirodaz.exe",
      old_dir_ + "\\data\\a.bin"};
  std::vector<std::string> before;
  for (const std::string& file : files) {
    before.push_back(tn_test::ReadFileBytes(file));
    ASSERT_FALSE(before.back().empty()) << file;
  }

  CInstallJournal journal(dir_.Join("journal.txt"));
  journal.Begin();
  int kept_alive = 0;
  ASSERT_TRUE(RemovePreviousInstallation(state, &journal, [&] { ++kept_alive; }));
  for (const std::string& file : files) EXPECT_FALSE(Exists(file)) << file;
  EXPECT_GE(kept_alive, 2) << "the window is painted between the delete list's entries";
  for (const CInstallJournal::Entry& entry : journal.entries()) {
    EXPECT_NE(old_dir_ + "\\data\\a.bin", entry.first) << "moved apart from its directory";
  }
  journal.RollBack();
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(before[i], tn_test::ReadFileBytes(files[i])) << files[i];
  }
  EXPECT_FALSE(Exists(dir_.Join("journal.txt")));
  RemoveCommitted(state);
}

TEST_F(PreviousInstallTest, AFileHeldOpenStopsTheRemovalBeforeAnythingIsTouched) {
  const InstallState state = LinkedInstallation(old_dir_);
  const std::string desktop_link = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\TnRollBackTest.lnk";
  ASSERT_TRUE(Exists(desktop_link));
  {
    // Another program keeps one of the earlier files open without sharing it.
    tn::ScopedHandle held(CreateFileA((old_dir_ + "\\data\\a.bin").c_str(), GENERIC_READ, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    CInstallJournal journal(dir_.Join("journal.txt"));
    journal.Begin();
    EXPECT_FALSE(RemovePreviousInstallation(state, &journal));
    EXPECT_TRUE(journal.entries().empty()) << "something was moved before the refusal";
    EXPECT_TRUE(Exists(desktop_link));
    EXPECT_TRUE(Exists(old_dir_ + "\\data\\a.bin"));
    journal.RollBack();
  }
  // Opened by others with full sharing, the files do not stand in the way.
  tn::ScopedHandle shared(CreateFileA((old_dir_ + "\\data\\a.bin").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(shared);
  CInstallJournal journal(dir_.Join("journal.txt"));
  journal.Begin();
  EXPECT_TRUE(RemovePreviousInstallation(state, &journal));
  journal.RollBack();
  shared.Reset();
  RemoveCommitted(state);
}

TEST_F(PreviousInstallTest, NothingToRemoveWithoutAPreviousDirectory) {
  InstallState state;
  CInstallJournal journal(dir_.Join("journal.txt"));
  journal.Begin();
  const DWORD start = GetTickCount();
  EXPECT_TRUE(RemovePreviousInstallation(state, &journal));
  EXPECT_LT(GetTickCount() - start, 150u) << "no pause either";
  EXPECT_TRUE(journal.entries().empty());
  journal.RollBack();
  EXPECT_TRUE(Exists(old_dir_));
}

}  // namespace
