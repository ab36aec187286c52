// Path containment as the output and link checks use it: part by part, not
// letter by letter.
#include "tools/tnpack/path_containment.h"

#include <gtest/gtest.h>

namespace {

TEST(PathContainmentTest, ComparesWholeParts) {
  struct Case {
    const char* inner;
    const char* outer;
    bool inside;
  } cases[] = {
      {"/work/product", "/work/product", true},  // the folder itself
      {"/work/product/bin/Setup.exe", "/work/product", true},
      {"/work/product2", "/work/product", false},  // a sibling that only begins alike
      {"/work/product2/Setup.exe", "/work/product", false},
      {"/work/productSetup.exe", "/work/product", false},
      {"/work", "/work/product", false},  // the parent
      {"/", "/work/product", false},
      {"/other/product", "/work/product", false},
      {"work/product/a", "/work/product", false},   // relative against absolute
      {"/work/Product/a", "/work/product", false},  // Linux names keep their case
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.inside, tnpack::IsInside(c.inner, c.outer)) << c.inner << " in " << c.outer;
  }
}

}  // namespace
