#include "payload/trailer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tn {
namespace {

constexpr int64_t kMiB = kTrailerAlignment;

// An in-memory installer file.
class FakeFile {
 public:
  explicit FakeFile(int64_t size, char fill = 'x') : bytes_(static_cast<size_t>(size), fill) {}
  void Put(int64_t offset, const std::string& data) { bytes_.replace(offset, data.size(), data); }
  void PutTrailer(int64_t k, const std::string& marker_field, const std::string& number_field) {
    std::string record(kTrailerSize, '\0');
    record.replace(0, marker_field.size(), marker_field);
    record.replace(kTrailerFieldSize, number_field.size(), number_field);
    Put(k * kMiB, record);
  }
  int64_t Locate(const std::string& marker) const {
    return LocatePayload(marker, static_cast<int64_t>(bytes_.size()),
                         [this](int64_t offset, void* buffer, size_t size) -> size_t {
                           if (offset < 0 || offset >= static_cast<int64_t>(bytes_.size()))
                             return 0;
                           const size_t n =
                               std::min(size, bytes_.size() - static_cast<size_t>(offset));
                           std::memcpy(buffer, bytes_.data() + offset, n);
                           return n;
                         });
  }

 private:
  std::string bytes_;
};

TEST(TrailerTest, FindsShippedLayoutAtThirdBoundary) {
  FakeFile file(82 * kMiB + 123);
  file.PutTrailer(3, "TN7zOffset", "2681956");
  EXPECT_EQ(2681956, file.Locate("TN7zOffset"));
}

TEST(TrailerTest, MarkerMustMatchExactly) {
  struct Case {
    const char* field;
    int64_t expected;
  } cases[] = {
      {"TN7zOffset", 42},
      {"TN7zOffsetX", 0},  // one letter more
      {"tn7zoffset", 0},   // lower case
      {"TN7zOffse", 0},    // one letter less
      {"", 0},
  };
  for (const Case& c : cases) {
    FakeFile file(6 * kMiB, '\0');
    file.PutTrailer(3, c.field, "42");
    EXPECT_EQ(c.expected, file.Locate("TN7zOffset")) << "marker field: " << c.field;
  }
}

TEST(TrailerTest, MarkerFieldWithoutNulNeverMatches) {
  FakeFile file(6 * kMiB);
  const std::string marker(49, 'M');
  file.Put(3 * kMiB, marker + "M");  // 50 bytes, no NUL in the field
  file.Put(3 * kMiB + 50, std::string("77") + std::string(48, '\0'));
  EXPECT_EQ(0, file.Locate(marker));
}

TEST(TrailerTest, BoundaryRange) {
  // The last whole-MiB boundary is never examined.
  FakeFile at_last(5 * kMiB + 10);
  at_last.PutTrailer(5, "TN7zOffset", "99");
  EXPECT_EQ(0, at_last.Locate("TN7zOffset"));

  FakeFile before_last(5 * kMiB + 10);
  before_last.PutTrailer(4, "TN7zOffset", "99");
  EXPECT_EQ(99, before_last.Locate("TN7zOffset"));

  // Offset 0 is not a candidate either.
  FakeFile at_zero(4 * kMiB);
  at_zero.PutTrailer(0, "TN7zOffset", "99");
  EXPECT_EQ(0, at_zero.Locate("TN7zOffset"));

  // Under 2 MiB there is no boundary to examine.
  FakeFile small(2 * kMiB - 1);
  small.PutTrailer(1, "TN7zOffset", "99");
  EXPECT_EQ(0, small.Locate("TN7zOffset"));
}

TEST(TrailerTest, FirstOfTwoTrailersWins) {
  FakeFile file(8 * kMiB);
  file.PutTrailer(3, "TN7zOffset", "300");
  file.PutTrailer(5, "TN7zOffset", "500");
  EXPECT_EQ(300, file.Locate("TN7zOffset"));
}

TEST(TrailerTest, EmptyMarkerSkipsTheSearch) {
  FakeFile file(6 * kMiB, '\0');
  file.Put(1 * kMiB + 50, "1234");
  EXPECT_EQ(0, file.Locate(""));
}

TEST(TrailerTest, SearchStartField) {
  struct Case {
    std::string field;
    int64_t expected;
  } cases[] = {
      {"2681956", 2681956},
      {"  123abc", 123},
      {"-5", -5},
      {"+17", 17},
      {"\t 8", 8},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"99999999999999999999999", INT64_MAX},
      {"-99999999999999999999999", INT64_MIN},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      // All 50 bytes used by digits: no NUL needed to stop.
      {std::string(49, '0') + "7", 7},
  };
  for (const Case& c : cases) {
    char field[kTrailerFieldSize] = {};
    std::memcpy(field, c.field.data(), std::min(c.field.size(), kTrailerFieldSize));
    EXPECT_EQ(c.expected, ParseSearchStart(field, kTrailerFieldSize))
        << "field: '" << c.field << "'";
  }
}

TEST(TrailerTest, BuiltTrailerIsFoundAgain) {
  const std::string trailer = BuildTrailer("TN7zOffset", 2681956);
  ASSERT_EQ(kTrailerSize, trailer.size());
  EXPECT_EQ(std::string("TN7zOffset") + std::string(40, '\0'), trailer.substr(0, 50));
  EXPECT_EQ(std::string("2681956") + std::string(43, '\0'), trailer.substr(50));
  FakeFile file(5 * kMiB);
  file.Put(3 * kMiB, trailer);
  EXPECT_EQ(2681956, file.Locate("TN7zOffset"));
}

TEST(TrailerTest, BuildRefusesUnusableMarkers) {
  EXPECT_TRUE(BuildTrailer("", 1).empty());
  EXPECT_TRUE(BuildTrailer(std::string(50, 'a'), 1).empty());
  EXPECT_TRUE(BuildTrailer(std::string("a\0b", 3), 1).empty());
  EXPECT_EQ(kTrailerSize, BuildTrailer(std::string(49, 'a'), 1).size());
}

TEST(TrailerTest, PlacementArithmetic) {
  EXPECT_EQ(1, TrailerBoundaryFor(1));
  EXPECT_EQ(1, TrailerBoundaryFor(kMiB));
  EXPECT_EQ(2, TrailerBoundaryFor(kMiB + 1));
  EXPECT_EQ(3, TrailerBoundaryFor(2681856));
  // The trailer at k is found only in a file of at least k + 1 MiB.
  for (int64_t k = 1; k < 5; ++k) {
    FakeFile exact(MinimumFileSizeFor(k));
    exact.PutTrailer(k, "M", "5");
    EXPECT_EQ(5, exact.Locate("M")) << "k=" << k;
    FakeFile short_by_one(MinimumFileSizeFor(k) - 1);
    short_by_one.PutTrailer(k, "M", "5");
    EXPECT_EQ(0, short_by_one.Locate("M")) << "k=" << k;
  }
}

TEST(TrailerTest, OversizedFileIsNotSearched) {
  // Only the size is consulted; no read may happen.
  int reads = 0;
  EXPECT_EQ(0, LocatePayload("M", kMaxInstallerSize + 1, [&](int64_t, void*, size_t) -> size_t {
              ++reads;
              return 0;
            }));
  EXPECT_EQ(0, reads);
}

}  // namespace
}  // namespace tn
