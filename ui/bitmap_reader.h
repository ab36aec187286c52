// Decodes the skin's 24-bit BMP images (no Windows headers; the host build
// shares it). Anything else (palettes, other depths, compression, sizes
// that do not fit the bytes) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace DuiLib {

struct DecodedBitmap {
  int width = 0;
  int height = 0;
  // Top-down rows of 0xAARRGGBB with alpha 0xFF, width * height values.
  std::vector<uint32_t> pixels;
};

// Larger sides are refused rather than allocated.
constexpr int kMaxBitmapSide = 8192;

// False, with a reason in |error|, when |data| is not a 24-bit
// uncompressed bitmap (bottom-up or top-down) whose pixels fit in |size|.
bool DecodeBmp24(const void* data, size_t size, DecodedBitmap* out, std::string* error = nullptr);

}  // namespace DuiLib
