#include "util/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using tn::ByteReader;

// 01 02 03 04 05 06 07 08 F9 FA
const unsigned char kBytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xF9, 0xFA};

TEST(ByteReaderTest, CursorReadsLittleEndianFieldsInOrder) {
  ByteReader reader(kBytes, sizeof(kBytes));
  EXPECT_EQ(0x0201u, reader.U16());
  EXPECT_EQ(0x06050403u, reader.U32());
  EXPECT_EQ(6u, reader.Position());
  reader.Seek(0);
  EXPECT_EQ(0x0807060504030201ull, reader.U64());
  // The high bit of the top byte stays a number, not a sign.
  EXPECT_EQ(0xFAF9u, reader.U16());
  EXPECT_EQ(0u, reader.Remaining());
  EXPECT_FALSE(reader.Failed());
}

TEST(ByteReaderTest, ACursorReadPastTheEndFailsForGoodAndKeepsItsPlace) {
  ByteReader reader(kBytes, sizeof(kBytes));
  reader.Skip(7);
  EXPECT_EQ(0u, reader.U32());  // 3 bytes left
  EXPECT_TRUE(reader.Failed());
  EXPECT_EQ(7u, reader.Position());
  // What still fits is read, but the record stays failed.
  EXPECT_EQ(0xF908u, reader.U16());
  EXPECT_TRUE(reader.Failed());

  ByteReader skipping(kBytes, sizeof(kBytes));
  skipping.Skip(11);
  EXPECT_TRUE(skipping.Failed());
  EXPECT_EQ(0u, skipping.Position());
  ByteReader seeking(kBytes, sizeof(kBytes));
  seeking.Seek(10);  // the end itself is a place
  EXPECT_FALSE(seeking.Failed());
  seeking.Seek(11);
  EXPECT_TRUE(seeking.Failed());
  EXPECT_EQ(10u, seeking.Position());
}

TEST(ByteReaderTest, OffsetReadsAreTrueOnlyWhenEveryByteIsThere) {
  const ByteReader reader(kBytes, sizeof(kBytes));
  struct Case {
    int width;
    uint64_t offset;
    bool fits;
  } cases[] = {
      {2, 8, true},           {2, 9, false},
      {4, 6, true},           {4, 7, false},
      {8, 2, true},           {8, 3, false},
      {2, 10, false},         {4, UINT64_MAX - 1, false},
      {8, UINT64_MAX, false}, {2, uint64_t{1} << 32, false},
  };
  for (const Case& c : cases) {
    uint64_t value = 0xDEAD;
    bool read = c.width == 2   ? reader.U16(c.offset, &value)
                : c.width == 4 ? reader.U32(c.offset, &value)
                               : reader.U64(c.offset, &value);
    EXPECT_EQ(c.fits, read) << "width " << c.width << " at " << c.offset;
    if (!c.fits) {
      EXPECT_EQ(0xDEADu, value) << "width " << c.width << " at " << c.offset;
    }
  }
  uint32_t narrow = 0;
  ASSERT_TRUE(reader.U32(6, &narrow));
  EXPECT_EQ(0xFAF90807u, narrow);
  // Offset reads leave the cursor and the flag alone.
  EXPECT_EQ(0u, reader.Position());
  EXPECT_FALSE(reader.Failed());
}

TEST(ByteReaderTest, ContainsDoesNotOverflow) {
  const ByteReader reader(kBytes, sizeof(kBytes));
  EXPECT_TRUE(reader.Contains(0, 10));
  EXPECT_TRUE(reader.Contains(10, 0));
  EXPECT_FALSE(reader.Contains(1, 10));
  EXPECT_FALSE(reader.Contains(11, 0));
  EXPECT_FALSE(reader.Contains(2, UINT64_MAX));
  EXPECT_FALSE(reader.Contains(UINT64_MAX, 2));
}

TEST(ByteReaderTest, NoBytesReadsNothing) {
  ByteReader null_data(nullptr, 16);  // a size without bytes counts as none
  EXPECT_EQ(0u, null_data.size());
  EXPECT_EQ(0u, null_data.U16());
  EXPECT_TRUE(null_data.Failed());
  const std::string empty;
  uint32_t value = 7;
  EXPECT_FALSE(ByteReader(empty).U16(0, &value));
  EXPECT_EQ(7u, value);
}

TEST(ByteReaderTest, SetErrorFillsTheReasonOnlyWhenAskedFor) {
  std::string error;
  EXPECT_FALSE(tn::SetError(&error, "bad header"));
  EXPECT_EQ("bad header", error);
  EXPECT_FALSE(tn::SetError(nullptr, "bad header"));
}

}  // namespace
