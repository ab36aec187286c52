#include "payload/extract_progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace tn {
namespace {

std::vector<uint32_t> Feed(ExtractProgress* progress, const std::vector<uint64_t>& completed) {
  std::vector<uint32_t> reported;
  for (uint64_t value : completed) {
    uint32_t percent = 0;
    if (progress->Update(value, &percent)) reported.push_back(percent);
  }
  return reported;
}

TEST(ExtractProgressTest, ReportsChangesOnceAndEvery100) {
  ExtractProgress progress;
  progress.SetTotal(1000);
  EXPECT_EQ((std::vector<uint32_t>{37, 100, 100}), Feed(&progress, {0, 0, 370, 379, 1000, 1000}));
  // A 0 after a 100 is not reported.
  EXPECT_TRUE(Feed(&progress, {0}).empty());
}

TEST(ExtractProgressTest, TruncatesAndNeverExceeds100) {
  ExtractProgress progress;
  progress.SetTotal(3);
  EXPECT_EQ((std::vector<uint32_t>{33, 66, 100}), Feed(&progress, {1, 2, 3}));
  ExtractProgress over;
  over.SetTotal(10);
  EXPECT_EQ((std::vector<uint32_t>{100}), Feed(&over, {11}));
  EXPECT_TRUE(over.last_was_100());
}

TEST(ExtractProgressTest, ZeroTotalReportsNothing) {
  ExtractProgress progress;
  EXPECT_TRUE(Feed(&progress, {0, 5, 100}).empty());
  EXPECT_FALSE(progress.last_was_100());
}

TEST(ExtractProgressTest, LargeTotalsStayMonotonic) {
  // 2 GiB-scale totals pass through single precision; the reported values
  // must still rise and end in 100.
  ExtractProgress progress;
  const uint64_t total = 2000000011ull;
  progress.SetTotal(total);
  std::vector<uint64_t> steps;
  for (uint64_t done = 0; done < total; done += 1 << 20) steps.push_back(done);
  steps.push_back(total);
  const std::vector<uint32_t> reported = Feed(&progress, steps);
  ASSERT_FALSE(reported.empty());
  for (size_t i = 1; i < reported.size(); ++i) EXPECT_LT(reported[i - 1], reported[i]);
  EXPECT_EQ(100u, reported.back());
  EXPECT_EQ(100u, reported.size());
}

}  // namespace
}  // namespace tn
