#include "pages/install_dir.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(InstallDirTest, ChosenFolderGetsTheProductFolder) {
  const struct {
    const char* folder;
    const char* expected;
  } cases[] = {
      {"D:\\", "D:\\ZEVodirodaz"},
      {"D:\\Games", "D:\\Games\\ZEVodirodaz"},
      {"D:\\Games\\", "D:\\Games\\ZEVodirodaz"},
      // A folder already named like the product still gets it appended.
      {"E:\\ZEVodirodaz", "E:\\ZEVodirodaz\\ZEVodirodaz"},
      {"", ""},
      // "数" ends in the byte 0x5C; it is part of the character, not a separator.
      {"D:\\数", "D:\\数\\ZEVodirodaz"},
      {"D:\\数\\", "D:\\数\\ZEVodirodaz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstallDirFromChosenFolder(c.folder), c.expected) << "folder: " << c.folder;
  }
}

TEST(InstallDirTest, DoubleByteSequences) {
  const struct {
    const char* path;
    bool expected;
  } cases[] = {
      {"C:\\Program Files (x86)\\ZEVodirodaz", false},
      {"", false},
      {"D:\\安装\\ZEVodirodaz", true},
      {"D:\\a\x81", false},    // lone high byte at the end
      {"D:\\a\x81@b", false},  // high byte followed by an ASCII trail byte
      {"D:\\\x80\x80", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasDoubleByteSequence(c.path), c.expected) << "path: " << c.path;
  }
  EXPECT_FALSE(HasDoubleByteSequence(nullptr));
}

TEST(InstallDirTest, DefaultFollowsTheProcessBitness) {
  // The test prefix decides: a 64-bit prefix runs this 32-bit program under WOW64.
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(IsCurrentProcessWow64(), wow64 != FALSE);
  EXPECT_EQ(DefaultInstallDirectory(),
            wow64 ? "C:\\Program Files (x86)\\ZEVodirodaz" : "C:\\Program Files\\ZEVodirodaz");
}

}  // namespace
