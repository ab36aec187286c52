#include "ui/bitmap_reader.h"

namespace DuiLib {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool Fail(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

}  // namespace

bool DecodeBmp24(const void* data, size_t size, DecodedBitmap* out, std::string* error) {
  *out = DecodedBitmap();
  const unsigned char* b = static_cast<const unsigned char*>(data);
  if (!b || size < kFileHeaderSize + kInfoHeaderSize) return Fail(error, "too short for a bitmap");
  if (b[0] != 'B' || b[1] != 'M') return Fail(error, "not a bitmap");
  uint32_t pixel_offset = Read32(b + 10);
  uint32_t header_size = Read32(b + 14);
  if (header_size < kInfoHeaderSize || header_size > size - kFileHeaderSize)
    return Fail(error, "unknown bitmap header");
  int32_t width = static_cast<int32_t>(Read32(b + 18));
  int32_t height = static_cast<int32_t>(Read32(b + 22));
  uint16_t planes = Read16(b + 26);
  uint16_t bits = Read16(b + 28);
  uint32_t compression = Read32(b + 30);
  if (planes != 1 || bits != 24) return Fail(error, "not a 24-bit bitmap");
  if (compression != 0) return Fail(error, "compressed bitmap");
  bool top_down = height < 0;
  // INT32_MIN has no positive counterpart; it is out of range anyway.
  if (height == INT32_MIN) return Fail(error, "bitmap size out of range");
  int32_t rows = top_down ? -height : height;
  if (width <= 0 || rows <= 0 || width > kMaxBitmapSide || rows > kMaxBitmapSide)
    return Fail(error, "bitmap size out of range");
  if (pixel_offset < kFileHeaderSize + header_size || pixel_offset > size)
    return Fail(error, "pixel data out of range");
  uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~static_cast<uint64_t>(3);
  uint64_t needed = stride * static_cast<uint64_t>(rows);
  if (needed > size - pixel_offset) return Fail(error, "pixel data shorter than the declared size");

  out->width = width;
  out->height = rows;
  out->pixels.resize(static_cast<size_t>(width) * rows);
  for (int32_t y = 0; y < rows; ++y) {
    int32_t src_row = top_down ? y : rows - 1 - y;
    const unsigned char* src = b + pixel_offset + stride * src_row;
    uint32_t* dst = &out->pixels[static_cast<size_t>(y) * width];
    for (int32_t x = 0; x < width; ++x) {
      dst[x] = 0xFF000000u | (static_cast<uint32_t>(src[2]) << 16) |
               (static_cast<uint32_t>(src[1]) << 8) | src[0];
      src += 3;
    }
  }
  return true;
}

}  // namespace DuiLib
