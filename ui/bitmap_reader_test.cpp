#include "ui/bitmap_reader.h"

#include <gtest/gtest.h>

#include "ui/test_zip_writer.h"

namespace {

using DuiLib::DecodeBmp24;
using DuiLib::DecodedBitmap;

uint32_t Pattern(int x, int y) {
  return static_cast<uint32_t>((x * 40) << 16 | (y * 30) << 8 | 0x11);
}

TEST(BitmapReaderTest, DecodesBottomUpAndTopDownAlike) {
  for (bool top_down : {false, true}) {
    std::string bmp =
        ui_test::MakeBmp24(5, 3, Pattern, top_down);  // 5*3 = 15 bytes per row, padded
    DecodedBitmap image;
    std::string error;
    ASSERT_TRUE(DecodeBmp24(bmp.data(), bmp.size(), &image, &error)) << error;
    EXPECT_EQ(5, image.width);
    EXPECT_EQ(3, image.height);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(0xFF000000u | Pattern(x, y), image.pixels[y * 5 + x])
            << x << "," << y << " top_down=" << top_down;
  }
}

TEST(BitmapReaderTest, RefusesWhatIsNotAWhole24BitBitmap) {
  const std::string good = ui_test::MakeBmp24(4, 4, Pattern);
  auto with32 = [&](size_t offset, uint32_t value) {
    std::string b = good;
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return b;
  };
  auto with16 = [&](size_t offset, uint16_t value) {
    std::string b = good;
    b[offset] = static_cast<char>(value & 0xFF);
    b[offset + 1] = static_cast<char>(value >> 8);
    return b;
  };
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"truncated pixels", good.substr(0, good.size() - 1)},
      {"header only", good.substr(0, 54)},
      {"too short", good.substr(0, 20)},
      {"not BM", "XX" + good.substr(2)},
      {"8 bit", with16(28, 8)},
      {"32 bit", with16(28, 32)},
      {"compressed", with32(30, 1)},
      {"huge width", with32(18, 0x7FFFFFFF)},
      {"huge height", with32(22, 0x40000000)},
      {"lowest height", with32(22, 0x80000000u)},
      {"zero width", with32(18, 0)},
      {"pixels past the end", with32(10, 0x7FFFFFFF)},
      {"pixels inside the header", with32(10, 20)},
      {"header size past the end", with32(14, 0xFFFFFF00u)},
  };
  for (const Case& c : cases) {
    DecodedBitmap image;
    std::string error;
    EXPECT_FALSE(DecodeBmp24(c.bytes.data(), c.bytes.size(), &image, &error)) << c.what;
    EXPECT_TRUE(image.pixels.empty()) << c.what;
  }
}

}  // namespace
