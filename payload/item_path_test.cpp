#include "payload/item_path.h"

#include <gtest/gtest.h>

namespace tn {
namespace {

TEST(ItemPathTest, AcceptsOrdinaryRelativePaths) {
  for (const wchar_t* path :
       {L"a.txt", L"bin\\x.dll", L"bin/x.dll", L"with space\\file name.txt", L".hidden", L"a..b",
        L"dir\\.\\file", L"[Content]", L"\u6a21\u62df\u5668\\a"}) {
    EXPECT_TRUE(IsSafeItemPath(path)) << ::testing::PrintToString(std::wstring(path));
  }
}

TEST(ItemPathTest, RefusesPathsLeavingTheDirectory) {
  const wchar_t* refused[] = {
      L"..\\evil.txt",
      L"../evil.txt",
      L"a\\..\\..\\evil.txt",
      L"a/..",
      L"..",
      L"...\\x",
      L".. \\x",
      L"a\\. .\\x",
      L"\\evil.txt",
      L"/etc/passwd",
      L"\\\\server\\share\\x",
      L"\\\\?\\C:\\x",
      L"C:\\Windows\\evil.dll",
      L"C:evil.txt",
      L"file.txt:stream",
      L"a\\b:c",
      L"",
      L"a\x01b",
  };
  for (const wchar_t* path : refused) {
    EXPECT_FALSE(IsSafeItemPath(path)) << ::testing::PrintToString(std::wstring(path));
  }
}

}  // namespace
}  // namespace tn
