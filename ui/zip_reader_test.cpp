#include "ui/zip_reader.h"

#include <gtest/gtest.h>

#include "ui/test_zip_writer.h"

namespace {

using DuiLib::ZipReader;
using ui_test::MakeZip;

std::string Layout() { return std::string(3000, 'x') + "<Window size=\"610,390\"/>"; }

TEST(ZipReaderTest, ReadsStoredAndDeflatedEntriesByEitherSeparatorAndCase) {
  std::string zip = MakeZip({{"UI_HomePage.xml", Layout(), true},
                             {"image/close.bmp", "BMstored", false},
                             {"empty.txt", "", true}});
  ZipReader reader;
  ASSERT_TRUE(reader.Open(zip.data(), zip.size()));
  EXPECT_EQ(3u, reader.GetCount());
  std::string out, error;
  ASSERT_TRUE(reader.Read("ui_homepage.XML", &out, &error)) << error;
  EXPECT_EQ(Layout(), out);
  ASSERT_TRUE(reader.Read("IMAGE\\Close.bmp", &out, &error)) << error;
  EXPECT_EQ("BMstored", out);
  ASSERT_TRUE(reader.Read("empty.txt", &out, &error)) << error;
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(reader.Read("image\\missing.bmp", &out, &error));
  EXPECT_TRUE(out.empty());
}

TEST(ZipReaderTest, RefusesArchivesThatAreNotWhole) {
  std::string zip = MakeZip({{"a.xml", Layout(), true}});
  ZipReader reader;
  // Every truncation loses the end record or leaves one pointing past the end.
  for (size_t cut = 0; cut < zip.size(); cut += 7) {
    EXPECT_FALSE(reader.Open(zip.data(), cut)) << "cut at " << cut;
  }
  EXPECT_FALSE(reader.Open(nullptr, 100));
  std::string noise(5000, '\x50');
  EXPECT_FALSE(reader.Open(noise.data(), noise.size()));
}

TEST(ZipReaderTest, DamagedEntriesFailCleanly) {
  const std::string content = Layout();
  std::string good = MakeZip({{"a.xml", content, true}});
  size_t data_offset = 30 + 5;
  struct Case {
    const char* what;
    size_t offset;  // byte to change in the archive
    char value;
  } cases[] = {
      {"compressed data", data_offset + 4, '\x7f'},
      {"CRC in the directory", good.size() - 22 - 46 - 5 + 16, '\x01'},
      {"uncompressed size in the directory", good.size() - 22 - 46 - 5 + 24, '\x02'},
      {"method in the local header", 8, '\x00'},
      {"name in the local header", 30, 'b'},
      {"local header signature", 0, 'Q'},
  };
  for (const Case& c : cases) {
    std::string zip = good;
    zip[c.offset] = static_cast<char>(zip[c.offset] ^ (c.value ? c.value : '\x08'));
    ZipReader reader;
    std::string out, error;
    if (!reader.Open(zip.data(), zip.size())) continue;  // refusing up front is fine too
    EXPECT_FALSE(reader.Read("a.xml", &out, &error)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST(ZipReaderTest, SizesThatDoNotFitAreRefused) {
  std::string zip = MakeZip({{"a.xml", Layout(), false}});
  size_t directory = zip.size() - 22 - 46 - 5;
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
  } cases[] = {
      {"compressed size past the end", directory + 20, 0x7FFFFFF0u},
      {"huge uncompressed size", directory + 24, 0xFFFFFFF0u},
      {"local header offset past the end", directory + 42, 0x00FFFFFFu},
      {"directory offset past the end", zip.size() - 6, 0x00FFFFFFu},
      {"directory size past the end", zip.size() - 10, 0x00FFFFFFu},
  };
  for (const Case& c : cases) {
    std::string damaged = zip;
    for (int i = 0; i < 4; ++i)
      damaged[c.offset + i] = static_cast<char>((c.value >> (8 * i)) & 0xFF);
    ZipReader reader;
    std::string out;
    bool opened = reader.Open(damaged.data(), damaged.size());
    EXPECT_FALSE(opened && reader.Read("a.xml", &out)) << c.what;
  }
}

TEST(ZipReaderTest, ADeclaredSizeDeflateCannotReachIsRefused) {
  std::string zip = MakeZip({{"a.xml", std::string(100000, 'x'), true}});
  size_t size_field = zip.size() - 22 - 46 - 5 + 24;
  uint32_t declared = 48u << 20;  // within the entry limit, far beyond ~1032:1
  for (int i = 0; i < 4; ++i) zip[size_field + i] = static_cast<char>((declared >> (8 * i)) & 0xFF);
  ZipReader reader;
  ASSERT_TRUE(reader.Open(zip.data(), zip.size()));
  std::string out, error;
  EXPECT_FALSE(reader.Read("a.xml", &out, &error));
  EXPECT_EQ("declared size does not fit the compressed data", error);
}

TEST(ZipReaderTest, FindsTheEndRecordBehindAComment) {
  std::string zip = MakeZip({{"a.xml", "abc", true}});
  std::string comment = "PK\x05\x06 fake end record inside the comment";
  zip[zip.size() - 2] = static_cast<char>(comment.size());
  zip += comment;
  ZipReader reader;
  ASSERT_TRUE(reader.Open(zip.data(), zip.size()));
  std::string out;
  EXPECT_TRUE(reader.Read("A.XML", &out));
  EXPECT_EQ("abc", out);
}

}  // namespace
