#include "ui/image_resample.h"

#include <algorithm>

namespace DuiLib {

namespace {

// Weights are 8-bit fixed point summing to exactly 256, so that two
// channels can be weighted in one 32-bit multiply (0x00RR00BB and
// 0x00AA00GG lanes: 255 * 256 + 128 still fits 16 bits) and a flat colour
// comes out exactly as it went in.
constexpr uint32_t kOne = 256;

// One target pixel's share of the source along one axis: source indices
// [first, first + count) with weights summing to kOne.
struct Span {
  int first = 0;
  int count = 0;
  uint32_t weights[8] = {};  // enough for shrinking to an eighth and more
};

// Splits |sourceLength| source pixels over |targetLength| target pixels by
// area. Beyond 8 : 1 shrinking only the first 8 covered pixels count (the
// skin's images are never shrunk that far).
std::vector<Span> MakeSpans(int sourceLength, int targetLength) {
  std::vector<Span> spans(static_cast<size_t>(targetLength));
  // Positions in units of 1 / targetLength source pixel, so that every
  // boundary is an integer.
  const long long scale = targetLength;
  for (int i = 0; i < targetLength; ++i) {
    long long begin = static_cast<long long>(i) * sourceLength;
    long long end = begin + sourceLength;
    Span& span = spans[static_cast<size_t>(i)];
    span.first = static_cast<int>(begin / scale);
    int last = std::min(static_cast<int>((end - 1) / scale), span.first + 7);
    uint32_t given = 0;
    for (int s = span.first; s <= last; ++s) {
      long long lo = std::max(begin, static_cast<long long>(s) * scale);
      long long hi = std::min(end, static_cast<long long>(s + 1) * scale);
      uint32_t weight = static_cast<uint32_t>((hi - lo) * kOne / sourceLength);
      span.weights[span.count++] = weight;
      given += weight;
    }
    // Rounding leftovers go to the largest share, so a flat colour stays flat.
    uint32_t* largest = std::max_element(span.weights, span.weights + span.count);
    *largest += kOne - given;
  }
  return spans;
}

// Weighted sum of |count| pixels |step| apart.
inline uint32_t Blend(const uint32_t* p, int step, const Span& span) {
  if (span.count == 1) return *p;
  uint32_t redBlue = 0, alphaGreen = 0;
  for (int k = 0; k < span.count; ++k, p += step) {
    uint32_t w = span.weights[k];
    redBlue += (*p & 0x00FF00FFu) * w;
    alphaGreen += ((*p >> 8) & 0x00FF00FFu) * w;
  }
  return (((redBlue + 0x00800080u) >> 8) & 0x00FF00FFu) |
         ((alphaGreen + 0x00800080u) & 0xFF00FF00u);
}

}  // namespace

bool ResamplePixels(const uint32_t* pixels, int width, int height, int stride, PixelRect from,
                    int targetWidth, int targetHeight, std::vector<uint32_t>* out) {
  out->clear();
  from.left = std::max(0, std::min(from.left, width));
  from.right = std::max(from.left, std::min(from.right, width));
  from.top = std::max(0, std::min(from.top, height));
  from.bottom = std::max(from.top, std::min(from.bottom, height));
  const int sw = from.right - from.left, sh = from.bottom - from.top;
  if (!pixels || sw <= 0 || sh <= 0 || targetWidth <= 0 || targetHeight <= 0) return false;

  // Across first, every source row once, into |rows|; then down.
  const std::vector<Span> across = MakeSpans(sw, targetWidth);
  const std::vector<Span> down = MakeSpans(sh, targetHeight);
  std::vector<uint32_t> rows(static_cast<size_t>(targetWidth) * sh);
  for (int y = 0; y < sh; ++y) {
    const uint32_t* source = pixels + static_cast<size_t>(from.top + y) * stride + from.left;
    uint32_t* target = rows.data() + static_cast<size_t>(y) * targetWidth;
    for (int x = 0; x < targetWidth; ++x) {
      const Span& span = across[static_cast<size_t>(x)];
      target[x] = Blend(source + span.first, 1, span);
    }
  }
  out->resize(static_cast<size_t>(targetWidth) * targetHeight);
  for (int y = 0; y < targetHeight; ++y) {
    const Span& span = down[static_cast<size_t>(y)];
    const uint32_t* source = rows.data() + static_cast<size_t>(span.first) * targetWidth;
    uint32_t* target = out->data() + static_cast<size_t>(y) * targetWidth;
    for (int x = 0; x < targetWidth; ++x) target[x] = Blend(source + x, targetWidth, span);
  }
  return true;
}

}  // namespace DuiLib
