#include "actions/install_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "util/scoped_handle.h"

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectoryEmpty(const std::string& path) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((path + "\\*").c_str(), &data));
  if (!find) return false;
  do {
    if (lstrcmpA(data.cFileName, ".") != 0 && lstrcmpA(data.cFileName, "..") != 0) return false;
  } while (FindNextFileA(find.Get(), &data));
  return true;
}

// Everything below |root|: relative path -> content ("<dir>" for folders).
void ListTree(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>* tree) {
  WIN32_FIND_DATAA data;
  const std::string folder = relative.empty() ? root : root + "\\" + relative;
  tn::ScopedFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const std::string child = relative.empty() ? name : relative + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*tree)[child] = "<dir>";
      ListTree(root, child, tree);
    } else {
      (*tree)[child] = tn_test::ReadFileBytes(root + "\\" + child);
    }
  } while (FindNextFileA(find.Get(), &data));
}

std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  ListTree(root, "", &tree);
  return tree;
}

class InstallJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Join("machine");
    CreateDirectoryA(root_.c_str(), nullptr);
    // An earlier installation: a directory with a tree, a link beside it,
    // a listed file and a listed folder.
    old_dir_ = root_ + "\\ZEVodirodaz";
    CreateDirectoryA(old_dir_.c_str(), nullptr);
    CreateDirectoryA((old_dir_ + "\\data").c_str(), nullptr);
    tn_test::WriteFileBytes(old_dir_ + "\\ZEVodirodaz.exe", "old program");
    tn_test::WriteFileBytes(old_dir_ + "\\data\\a.bin", std::string(64, 'a'));
    tn_test::WriteFileBytes(root_ + "\\Tarnis.lnk", "link bytes");
    tn_test::WriteFileBytes(root_ + "\\listed.txt", "listed");
    CreateDirectoryA((root_ + "\\cache").c_str(), nullptr);
    tn_test::WriteFileBytes(root_ + "\\cache\\c.bin", "cache");
    before_ = Tree(root_);
  }

  std::string JournalFile() const { return dir_.Join("journal.txt"); }
  // Adds |text| to the journal file, as a writer that was then killed did.
  void AppendToJournal(const std::string& text) const {
    tn::ScopedHandle file(CreateFileA(JournalFile().c_str(), FILE_APPEND_DATA, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  tn_test::ScopedTempDir dir_;
  std::string root_;
  std::string old_dir_;
  std::map<std::string, std::string> before_;
};

TEST_F(InstallJournalTest, RollBackUndoesEveryStepInReverse) {
  CInstallJournal journal(JournalFile());
  journal.Begin();
  EXPECT_EQ(CInstallJournal::MoveResult::kMoved, journal.MoveAside(root_ + "\\Tarnis.lnk"));
  journal.MoveAsideEach(
      {root_ + "\\listed.txt", root_ + "\\missing.txt"}, [](DWORD) { return true; }, nullptr);
  EXPECT_EQ(CInstallJournal::MoveResult::kMoved, journal.MoveAside(root_ + "\\cache"));
  EXPECT_EQ(CInstallJournal::MoveResult::kMoved, journal.MoveAside(old_dir_));
  EXPECT_EQ(CInstallJournal::MoveResult::kNothingThere, journal.MoveAside(root_ + "\\nothing"));
  // The new installation goes where the old one was, below a folder of its
  // own; it is half extracted when the failure comes.
  ASSERT_TRUE(journal.PrepareDirectory(old_dir_ + "\\deeper\\new"));
  tn_test::WriteFileBytes(old_dir_ + "\\deeper\\new\\partial.bin", "cut off");
  EXPECT_TRUE(Exists(JournalFile()));

  journal.RollBack();
  EXPECT_EQ(before_, Tree(root_)) << "the earlier installation, byte for byte, and nothing else";
  EXPECT_FALSE(Exists(JournalFile()));
  EXPECT_FALSE(journal.IsActive());
}

TEST_F(InstallJournalTest, CommitDeletesTheBackupsOnly) {
  CInstallJournal journal(JournalFile());
  journal.Begin();
  journal.MoveAside(root_ + "\\Tarnis.lnk");
  journal.MoveAside(old_dir_);
  ASSERT_TRUE(journal.PrepareDirectory(old_dir_));
  tn_test::WriteFileBytes(old_dir_ + "\\new.exe", "new program");
  journal.Commit();
  ASSERT_TRUE(journal.WaitForCleanup(20000));
  std::map<std::string, std::string> expected = before_;
  expected.erase("Tarnis.lnk");
  for (auto it = expected.begin(); it != expected.end();) {
    it = it->first.rfind("ZEVodirodaz", 0) == 0 ? expected.erase(it) : std::next(it);
  }
  expected["ZEVodirodaz"] = "<dir>";
  expected["ZEVodirodaz\\new.exe"] = "new program";
  EXPECT_EQ(expected, Tree(root_));
  EXPECT_FALSE(Exists(JournalFile()));
}

TEST_F(InstallJournalTest, RollBackGoesOnPastAMissingBackup) {
  CInstallJournal journal(JournalFile());
  journal.Begin();
  journal.MoveAside(root_ + "\\Tarnis.lnk");
  journal.MoveAside(root_ + "\\listed.txt");
  journal.MoveAside(old_dir_);
  // Someone removed one backup meanwhile.
  ASSERT_TRUE(DeleteFileA((root_ + "\\listed.txt" + journal.BackupSuffix()).c_str()));
  journal.RollBack();
  std::map<std::string, std::string> expected = before_;
  expected.erase("listed.txt");
  EXPECT_EQ(expected, Tree(root_));
}

TEST_F(InstallJournalTest, BackupNamesStepAroundExistingFiles) {
  CInstallJournal journal(JournalFile());
  const std::string taken = root_ + "\\listed.txt" + journal.BackupSuffix();
  tn_test::WriteFileBytes(taken, "a file that happens to have the name");
  before_ = Tree(root_);
  journal.Begin();
  EXPECT_EQ(CInstallJournal::MoveResult::kMoved, journal.MoveAside(root_ + "\\listed.txt"));
  EXPECT_EQ("listed", tn_test::ReadFileBytes(taken + "-2"));
  EXPECT_EQ("a file that happens to have the name", tn_test::ReadFileBytes(taken));
  // A list that names a file twice, once in another case and through "..".
  journal.MoveAsideEach(
      {root_ + "\\cache\\c.bin", root_ + "\\CACHE\\C.BIN", root_ + "\\cache\\..\\cache\\c.bin"},
      [](DWORD) { return true; }, nullptr);
  EXPECT_FALSE(Exists(root_ + "\\cache\\c.bin"));
  EXPECT_EQ(2u, journal.entries().size());
  journal.RollBack();
  EXPECT_EQ(before_, Tree(root_));
  // The suffix is the marker and eight hexadecimal digits.
  ASSERT_EQ(16u, journal.BackupSuffix().size());
  EXPECT_EQ(0u, journal.BackupSuffix().find(".~tnbak-"));
}

TEST_F(InstallJournalTest, ManyFilesOfOneFolderGoIntoSmallBackupFolders) {
  const std::string folder = root_ + "\\many";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::string> listed;
  for (int i = 0; i < 150; ++i) {
    listed.push_back(folder + "\\f" + std::to_string(i) + ".txt");
    tn_test::WriteFileBytes(listed.back(), std::to_string(i));
  }
  listed.push_back(folder + "\\missing.txt");
  listed.push_back(folder + "\\");
  const auto before = Tree(folder);
  CInstallJournal journal(JournalFile());
  journal.Begin();
  int kept_alive = 0;
  journal.MoveAsideEach(
      listed, [](DWORD attributes) { return !(attributes & FILE_ATTRIBUTE_DIRECTORY); },
      [&] { ++kept_alive; });
  EXPECT_GE(kept_alive, 150);
  const auto during = Tree(folder);
  ASSERT_EQ(1u + 3u + 150u, during.size()) << "the backup folder, three slots of 64, the files";
  EXPECT_EQ("149", during.at(journal.BackupSuffix() + "\\2\\f149.txt"));
  EXPECT_EQ(150u, CInstallJournal::ReadJournal(JournalFile()).size()) << "every move journalled";
  journal.RollBack();
  EXPECT_EQ(before, Tree(folder));
}

TEST_F(InstallJournalTest, AFolderOfListedFilesOnlyGoesAsideWhole) {
  const std::string whole = root_ + "\\whole";
  const std::string mixed = root_ + "\\mixed";
  std::vector<std::string> listed;
  for (const std::string& folder : {whole, mixed}) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < 20; ++i) {
      listed.push_back(folder + "\\f" + std::to_string(i) + ".txt");
      tn_test::WriteFileBytes(listed.back(), std::to_string(i));
    }
  }
  SetFileAttributesA(whole.c_str(), FILE_ATTRIBUTE_HIDDEN);
  tn_test::WriteFileBytes(mixed + "\\not listed.txt", "stays");
  const auto before = Tree(root_);
  const auto is_file = [](DWORD attributes) { return !(attributes & FILE_ATTRIBUTE_DIRECTORY); };
  std::vector<std::string> asked;
  const auto allowed = [&](const std::string& folder) {
    asked.push_back(folder);
    return true;
  };
  {
    // A folder the caller does not allow is moved file by file.
    CInstallJournal journal(JournalFile());
    journal.Begin();
    journal.MoveAsideEach(listed, is_file, nullptr, [](const std::string&) { return false; });
    EXPECT_EQ(40u, journal.entries().size());
    journal.RollBack();
    EXPECT_EQ(before, Tree(root_));
  }
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "roll back");
    CInstallJournal journal(JournalFile());
    journal.Begin();
    journal.MoveAsideEach(listed, is_file, nullptr, allowed);
    // The whole folder in two entries (moved, made afresh), the other's 20 one by one.
    EXPECT_EQ(22u, journal.entries().size());
    EXPECT_EQ(std::vector<std::string>{whole}, asked);
    asked.clear();
    EXPECT_TRUE(IsDirectoryEmpty(whole));
    EXPECT_TRUE(GetFileAttributesA(whole.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ("stays", tn_test::ReadFileBytes(mixed + "\\not listed.txt"));
    if (!commit) {
      journal.RollBack();
      EXPECT_EQ(before, Tree(root_));
      continue;
    }
    journal.Commit();
    ASSERT_TRUE(journal.WaitForCleanup(20000));
    std::map<std::string, std::string> expected;
    for (const auto& entry : before) {
      if (entry.second == "<dir>" || entry.first.find(".txt") == std::string::npos ||
          entry.first == "mixed\\not listed.txt" || entry.first == "listed.txt") {
        expected.insert(entry);
      }
    }
    EXPECT_EQ(expected, Tree(root_));
  }
}

TEST_F(InstallJournalTest, AnInterruptedRunIsPlayedBackAtTheNextStart) {
  {
    // An installer that is ended here never rolls back or commits.
    CInstallJournal journal(JournalFile());
    journal.Begin();
    journal.MoveAside(root_ + "\\Tarnis.lnk");
    journal.MoveAsideEach(
        {root_ + "\\listed.txt"}, [](DWORD) { return true; }, nullptr);
    journal.MoveAside(old_dir_);
    ASSERT_TRUE(journal.PrepareDirectory(old_dir_));
    tn_test::WriteFileBytes(old_dir_ + "\\partial.bin", "cut off");
  }
  // A kill in the middle of a write leaves a line without its end.
  AppendToJournal("move\tC:\\cut");
  EXPECT_EQ(4u, CInstallJournal::ReadJournal(JournalFile()).size());
  EXPECT_TRUE(CInstallJournal::RecoverInterruptedInstallation(JournalFile()));
  EXPECT_EQ(before_, Tree(root_));
  EXPECT_FALSE(Exists(JournalFile()));
  EXPECT_FALSE(CInstallJournal::RecoverInterruptedInstallation(JournalFile())) << "only once";
}

TEST_F(InstallJournalTest, AnInterruptedCommitIsFinishedAtTheNextStart) {
  {
    CInstallJournal journal(JournalFile());
    journal.Begin();
    journal.MoveAside(old_dir_);
    ASSERT_TRUE(journal.PrepareDirectory(old_dir_));
    tn_test::WriteFileBytes(old_dir_ + "\\new.exe", "new");
  }
  AppendToJournal("commit\n");
  EXPECT_TRUE(CInstallJournal::RecoverInterruptedInstallation(JournalFile()));
  const std::map<std::string, std::string> tree = Tree(root_);
  EXPECT_EQ("new", tree.at("ZEVodirodaz\\new.exe"));
  EXPECT_EQ(0u, tree.count("ZEVodirodaz\\ZEVodirodaz.exe"));
  for (const auto& entry : tree) {
    EXPECT_EQ(std::string::npos, entry.first.find(".~tnbak-")) << entry.first;
  }
}

TEST_F(InstallJournalTest, EntriesNoInstallerWritesAreNotPlayedBack) {
  // A backup that is not its original's name with the marker, and
  // directories that a tree removal refuses.
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string planted = std::string("tnsetup journal 1\n") + "move\t" + root_ + "\\victim\t" +
                              root_ + "\\listed.txt\n" + "created\t" + windows + "\n" +
                              "created\tC:\\\n" + "filled\trelative\\path\n" + "bogus\tline\n" +
                              "move\t" + root_ + "\\Tarnis.lnk\t" + root_ +
                              "\\Tarnis.lnk.~tnbak-0000beef\n";
  tn_test::WriteFileBytes(JournalFile(), planted);
  const auto entries = CInstallJournal::ReadJournal(JournalFile());
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(root_ + "\\Tarnis.lnk", entries[0].first);
  EXPECT_TRUE(CInstallJournal::RecoverInterruptedInstallation(JournalFile()));
  EXPECT_EQ(before_, Tree(root_));
  EXPECT_TRUE(Exists(std::string(windows) + "\\system32"));

  tn_test::WriteFileBytes(JournalFile(), "not a journal\nmove\ta\tb\n");
  EXPECT_TRUE(CInstallJournal::ReadJournal(JournalFile()).empty());
}

TEST_F(InstallJournalTest, ExistingInstallDirectories) {
  // An empty one stays, and only what this run put in it goes again.
  const std::string empty = root_ + "\\empty";
  CreateDirectoryA(empty.c_str(), nullptr);
  {
    CInstallJournal journal(JournalFile());
    journal.Begin();
    ASSERT_TRUE(journal.PrepareDirectory(empty));
    tn_test::WriteFileBytes(empty + "\\new.bin", "new");
    journal.RollBack();
    EXPECT_TRUE(Exists(empty));
    EXPECT_FALSE(Exists(empty + "\\new.bin"));
  }
  // One with content: the content is kept aside; a rollback puts it back as
  // it was, a commit merges it with the new installation, the new files
  // winning.
  const std::string full = root_ + "\\cache";
  const std::map<std::string, std::string> full_before = Tree(full);
  for (bool commit : {false, true}) {
    CInstallJournal journal(JournalFile());
    journal.Begin();
    ASSERT_TRUE(journal.PrepareDirectory(full));
    EXPECT_FALSE(Exists(full + "\\c.bin"));
    tn_test::WriteFileBytes(full + "\\c.bin", "new cache");
    tn_test::WriteFileBytes(full + "\\n.bin", "new");
    if (!commit) {
      journal.RollBack();
      EXPECT_EQ(full_before, Tree(full));
      continue;
    }
    journal.Commit();
    ASSERT_TRUE(journal.WaitForCleanup(20000));
    EXPECT_EQ("new cache", tn_test::ReadFileBytes(full + "\\c.bin"));
    EXPECT_EQ("new", tn_test::ReadFileBytes(full + "\\n.bin"));
  }
  // Where a file stands no directory can be made; nothing changes.
  CInstallJournal journal(JournalFile());
  journal.Begin();
  EXPECT_FALSE(journal.PrepareDirectory(root_ + "\\listed.txt"));
  journal.RollBack();
  EXPECT_EQ("listed", tn_test::ReadFileBytes(root_ + "\\listed.txt"));
}

TEST_F(InstallJournalTest, MergeKeepsWhatTheNewInstallationDoesNotBring) {
  const std::string target = root_ + "\\cache";
  CreateDirectoryA((target + "\\saves").c_str(), nullptr);
  tn_test::WriteFileBytes(target + "\\saves\\slot1.dat", "save");
  CInstallJournal journal(JournalFile());
  journal.Begin();
  ASSERT_TRUE(journal.PrepareDirectory(target));
  CreateDirectoryA((target + "\\saves").c_str(), nullptr);
  tn_test::WriteFileBytes(target + "\\saves\\slot2.dat", "new save");
  journal.Commit();
  ASSERT_TRUE(journal.WaitForCleanup(20000));
  const std::map<std::string, std::string> expected = {{"c.bin", "cache"},
                                                       {"saves", "<dir>"},
                                                       {"saves\\slot1.dat", "save"},
                                                       {"saves\\slot2.dat", "new save"}};
  EXPECT_EQ(expected, Tree(target));
}

TEST_F(InstallJournalTest, ABackupThatCannotBeDeletedGoesAtTheNextRestart) {
  CInstallJournal journal(JournalFile());
  journal.Begin();
  ASSERT_EQ(CInstallJournal::MoveResult::kMoved, journal.MoveAside(root_ + "\\listed.txt"));
  const std::string backup = root_ + "\\listed.txt" + journal.BackupSuffix();
  // Another program holds the backup open without letting it be deleted.
  tn::ScopedHandle held(CreateFileA(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  journal.Commit();
  ASSERT_TRUE(journal.WaitForCleanup(20000));
  EXPECT_TRUE(Exists(backup));
  tn::ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                          0, KEY_READ, key.Receive()));
  char pending[8192] = {};
  DWORD size = sizeof(pending) - 2;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr,
                                            nullptr, reinterpret_cast<BYTE*>(pending), &size));
  // Pairs of names, the second empty for a deletion: search the whole value.
  const std::string value(pending, size);
  const bool found = value.find("listed.txt" + journal.BackupSuffix()) != std::string::npos;
  EXPECT_TRUE(found) << "no deletion at restart asked for";
}

}  // namespace
