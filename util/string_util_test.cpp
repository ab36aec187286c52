#include "util/string_util.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* text;
  const char* delimiter;
  std::vector<std::string> pieces;
};

TEST(SplitStringTest, KeepsEmptyPiecesInOrder) {
  const SplitCase cases[] = {
      {"14.0.0", ".", {"14", "0", "0"}},
      {"a..b", ".", {"a", "", "b"}},
      {"", ".", {""}},
      {"C:\\", "\\", {"C:", ""}},
      {"a.exe;;b.exe;", ";", {"a.exe", "", "b.exe", ""}},
      {"one", ";", {"one"}},
      {"a<>b<>", "<>", {"a", "b", ""}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitString(c.text, c.delimiter), c.pieces)
        << "text \"" << c.text << "\" at \"" << c.delimiter << "\"";
  }
}

}  // namespace
