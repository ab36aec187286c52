#include "ui/bitmap_reader.h"

#include "util/byte_reader.h"

namespace DuiLib {

namespace {

using tn::SetError;

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint16_t kBitmapMagic = 0x4D42;  // "BM"

}  // namespace

bool DecodeBmp24(const void* data, size_t size, DecodedBitmap* out, std::string* error) {
  *out = DecodedBitmap();
  const unsigned char* b = static_cast<const unsigned char*>(data);
  if (!b || size < kFileHeaderSize + kInfoHeaderSize)
    return SetError(error, "too short for a bitmap");
  // BITMAPFILEHEADER and the start of BITMAPINFOHEADER, all inside |size|.
  tn::ByteReader header(data, size);
  const uint16_t magic = header.U16();
  header.Skip(8);  // file size, reserved
  const uint32_t pixel_offset = header.U32();
  const uint32_t header_size = header.U32();
  const int32_t width = static_cast<int32_t>(header.U32());
  const int32_t height = static_cast<int32_t>(header.U32());
  const uint16_t planes = header.U16();
  const uint16_t bits = header.U16();
  const uint32_t compression = header.U32();
  if (magic != kBitmapMagic) return SetError(error, "not a bitmap");
  if (header_size < kInfoHeaderSize || header_size > size - kFileHeaderSize)
    return SetError(error, "unknown bitmap header");
  if (planes != 1 || bits != 24) return SetError(error, "not a 24-bit bitmap");
  if (compression != 0) return SetError(error, "compressed bitmap");
  bool top_down = height < 0;
  // INT32_MIN has no positive counterpart; it is out of range anyway.
  if (height == INT32_MIN) return SetError(error, "bitmap size out of range");
  int32_t rows = top_down ? -height : height;
  if (width <= 0 || rows <= 0 || width > kMaxBitmapSide || rows > kMaxBitmapSide)
    return SetError(error, "bitmap size out of range");
  if (pixel_offset < kFileHeaderSize + header_size || pixel_offset > size)
    return SetError(error, "pixel data out of range");
  uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~static_cast<uint64_t>(3);
  uint64_t needed = stride * static_cast<uint64_t>(rows);
  if (needed > size - pixel_offset)
    return SetError(error, "pixel data shorter than the declared size");

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
