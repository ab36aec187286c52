#include "util/file_util.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class FileUtilTest : public ::testing::Test {
 protected:
  std::string MakeTree() {
    const std::string root = dir_.Join("tree");
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\a").c_str(), nullptr);
    CreateDirectoryA((root + "\\a\\b").c_str(), nullptr);
    CreateDirectoryA((root + "\\a\\b\\empty").c_str(), nullptr);
    tn_test::WriteFileBytes(root + "\\top.txt", "top");
    tn_test::WriteFileBytes(root + "\\a\\b\\deep.bin", std::string(70000, 'x'));
    tn_test::WriteFileBytes(root + "\\a\\read only.txt", "ro");
    SetFileAttributesA((root + "\\a\\read only.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((root + "\\a\\b").c_str(), FILE_ATTRIBUTE_READONLY);
    return root;
  }
  tn_test::ScopedTempDir dir_;
};

TEST_F(FileUtilTest, FileExistsOnlyForReadableFiles) {
  const std::string file = dir_.Join("present.txt");
  ASSERT_TRUE(tn_test::WriteFileBytes(file, "x"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(dir_.Join("absent.txt")));
  EXPECT_FALSE(FileExists(dir_.path()));
  EXPECT_FALSE(FileExists(""));
}

TEST_F(FileUtilTest, RemovesTreeWithReadOnlyFilesCompletely) {
  const std::string root = MakeTree();
  EXPECT_TRUE(RemoveDirectoryTree(root));
  EXPECT_FALSE(Exists(root));
  // A trailing backslash is accepted as well.
  const std::string again = MakeTree();
  EXPECT_TRUE(RemoveDirectoryTree(again + "\\"));
  EXPECT_FALSE(Exists(again));
}

TEST_F(FileUtilTest, MissingDirectoryIsFalseAndTouchesNothing) {
  tn_test::WriteFileBytes(dir_.Join("keep.txt"), "k");
  EXPECT_FALSE(RemoveDirectoryTree(dir_.Join("missing")));
  EXPECT_TRUE(Exists(dir_.Join("keep.txt")));
}

TEST_F(FileUtilTest, FileInUseStaysAndTheRestGoes) {
  const std::string root = MakeTree();
  const std::string held = root + "\\top.txt";
  tn::ScopedHandle lock(
      CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.IsValid());
  EXPECT_TRUE(RemoveDirectoryTree(root));
  EXPECT_TRUE(Exists(held));
  EXPECT_FALSE(Exists(root + "\\a"));
}

TEST_F(FileUtilTest, RefusesRootsRelativeAndSystemFolders) {
  char windows[MAX_PATH] = {}, profile[MAX_PATH] = {}, desktop[MAX_PATH] = {},
       programs[MAX_PATH] = {}, start[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE);
  SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
  SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE);
  SHGetSpecialFolderPathA(nullptr, start, CSIDL_STARTMENU, FALSE);
  const std::string refused[] = {
      "",
      "C:\\",
      "C:",
      "c:/",
      "Z:\\",
      "relative\\dir",
      "\\rooted",
      windows,
      std::string(windows) + "\\",
      std::string(windows) + "\\system32",
      profile,
      desktop,
      programs,
      start,
      std::string(programs) + "\\..\\Program Files",
      "C:\\Program Files",
      "C:\\Program Files (x86)",
      "C:\\windows\\syswow64",
      "C:\\users",
      "C:\\ProgramData",
      "\\\\server\\share",
  };
  for (const std::string& path : refused) {
    EXPECT_FALSE(IsRemovableTreePath(path)) << path;
    EXPECT_FALSE(RemoveDirectoryTree(path)) << path;
  }
  EXPECT_TRUE(Exists(windows));
  EXPECT_TRUE(Exists(desktop));
  EXPECT_TRUE(IsRemovableTreePath(std::string(programs) + "\\ZEVodirodaz"));
  EXPECT_TRUE(IsRemovableTreePath(dir_.path()));
}

// Wine supports directory symbolic links only partly; where it cannot make
// one the test says so and passes over that part.
TEST_F(FileUtilTest, LinkInsideTreeIsRemovedNotEntered) {
  const std::string outside = dir_.Join("outside");
  CreateDirectoryA(outside.c_str(), nullptr);
  tn_test::WriteFileBytes(outside + "\\precious.txt", "keep me");
  const std::string root = MakeTree();
  const std::string link = root + "\\link";
  if (!CreateSymbolicLinkA(link.c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    GTEST_SKIP() << "this platform cannot create directory links (error " << GetLastError() << ")";
  }
  if (!IsReparsePoint(link)) {
    // Wine 8 makes a host symbolic link that its API reports as a plain
    // directory, so no program can tell it from one.
    GTEST_SKIP() << "the link is not reported as a reparse point on this platform";
  }
  EXPECT_TRUE(RemoveDirectoryTree(root));
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(Exists(outside + "\\precious.txt"));

  // A link given as the tree itself: the link goes, the target stays.
  const std::string top_link = dir_.Join("top_link");
  ASSERT_TRUE(CreateSymbolicLinkA(top_link.c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY));
  EXPECT_TRUE(RemoveDirectoryTree(top_link));
  EXPECT_FALSE(Exists(top_link));
  EXPECT_TRUE(Exists(outside + "\\precious.txt"));
}

// Wine cannot make a link that its API reports as one, so the link cases go
// through the attribute seam: real folders and files that the removal is
// told are links. Removing "the link" of a real, non-empty folder fails,
// which shows that the removal never entered it.
std::string* g_pretend_links = nullptr;

unsigned long PretendLinks(const std::string& path, unsigned long reported) {
  for (size_t start = 0; start < g_pretend_links->size();) {
    const size_t end = g_pretend_links->find('|', start);
    if (lstrcmpiA(g_pretend_links->substr(start, end - start).c_str(), path.c_str()) == 0) {
      return reported | FILE_ATTRIBUTE_REPARSE_POINT;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return reported;
}

class LinkSeamTest : public FileUtilTest {
 protected:
  void Pretend(const std::string& paths) {
    links_ = paths;
    g_pretend_links = &links_;
    SetEntryAttributesHookForTesting(&PretendLinks);
  }
  void TearDown() override {
    SetEntryAttributesHookForTesting(nullptr);
    g_pretend_links = nullptr;
  }
  std::string links_;
};

TEST_F(LinkSeamTest, LinksInsideTheTreeAreRemovedNeverEnteredNorChanged) {
  const std::string root = MakeTree();
  const std::string dir_link = root + "\\linked folder";
  const std::string file_link = root + "\\linked.txt";
  CreateDirectoryA(dir_link.c_str(), nullptr);
  tn_test::WriteFileBytes(dir_link + "\\precious.txt", "keep me");
  tn_test::WriteFileBytes(file_link, "target");
  SetFileAttributesA(file_link.c_str(), FILE_ATTRIBUTE_READONLY);
  Pretend(dir_link + "|" + file_link);

  EXPECT_TRUE(IsReparsePoint(dir_link));
  EXPECT_TRUE(RemoveDirectoryTree(root));
  EXPECT_EQ("keep me", tn_test::ReadFileBytes(dir_link + "\\precious.txt"));
  // Clearing the read-only flag of a link would clear its target's.
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
            GetFileAttributesA(file_link.c_str()) & FILE_ATTRIBUTE_READONLY);
  // Everything that was not a link went.
  EXPECT_FALSE(Exists(root + "\\a"));
  EXPECT_FALSE(Exists(root + "\\top.txt"));
}

TEST_F(LinkSeamTest, ATreeThatIsItselfALinkLosesOnlyTheLink) {
  const std::string root = MakeTree();
  Pretend(root);
  RemoveDirectoryTree(root);
  EXPECT_EQ("top", tn_test::ReadFileBytes(root + "\\top.txt"));
  EXPECT_TRUE(Exists(root + "\\a\\b\\deep.bin"));
  SetEntryAttributesHookForTesting(nullptr);
  EXPECT_FALSE(IsReparsePoint(root));
}

}  // namespace
