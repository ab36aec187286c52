#include "ui/image_resample.h"

#include <algorithm>

namespace DuiLib {

namespace {

// One target pixel's share of the source along one axis: source indices
// [first, first + weights.size()) with weights summing to 1 << 16.
struct Span {
  int first = 0;
  std::vector<uint32_t> weights;
};

constexpr uint32_t kOne = 1u << 16;

// Splits |sourceLength| source pixels over |targetLength| target pixels.
std::vector<Span> MakeSpans(int sourceLength, int targetLength) {
  std::vector<Span> spans(static_cast<size_t>(targetLength));
  // Positions in units of 1 / targetLength source pixel, so that every
  // boundary is an integer.
  const long long scale = targetLength;
  for (int i = 0; i < targetLength; ++i) {
    long long begin = static_cast<long long>(i) * sourceLength;  // in 1/scale units
    long long end = begin + sourceLength;
    Span& span = spans[static_cast<size_t>(i)];
    span.first = static_cast<int>(begin / scale);
    int last = static_cast<int>((end - 1) / scale);
    uint32_t given = 0;
    for (int s = span.first; s <= last; ++s) {
      long long lo = std::max(begin, static_cast<long long>(s) * scale);
      long long hi = std::min(end, static_cast<long long>(s + 1) * scale);
      uint32_t weight = static_cast<uint32_t>((hi - lo) * kOne / sourceLength);
      span.weights.push_back(weight);
      given += weight;
    }
    // Rounding leftovers go to the largest share, so a flat colour stays flat.
    auto largest = std::max_element(span.weights.begin(), span.weights.end());
    *largest += kOne - given;
  }
  return spans;
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

  const std::vector<Span> across = MakeSpans(sw, targetWidth);
  const std::vector<Span> down = MakeSpans(sh, targetHeight);
  // Horizontal pass into 16.16 channel sums, then the vertical pass.
  std::vector<uint64_t> acc(static_cast<size_t>(targetWidth) * 4);
  out->assign(static_cast<size_t>(targetWidth) * targetHeight, 0);
  for (int y = 0; y < targetHeight; ++y) {
    const Span& vertical = down[static_cast<size_t>(y)];
    std::fill(acc.begin(), acc.end(), 0);
    for (size_t k = 0; k < vertical.weights.size(); ++k) {
      const uint32_t* source = pixels + static_cast<size_t>(from.top + vertical.first + static_cast<int>(k)) * stride + from.left;
      for (int x = 0; x < targetWidth; ++x) {
        const Span& horizontal = across[static_cast<size_t>(x)];
        uint32_t sum[4] = {0, 0, 0, 0};
        for (size_t j = 0; j < horizontal.weights.size(); ++j) {
          uint32_t p = source[horizontal.first + static_cast<int>(j)];
          uint32_t w = horizontal.weights[j];
          for (int c = 0; c < 4; ++c) sum[c] += ((p >> (8 * c)) & 0xFF) * w;
        }
        for (int c = 0; c < 4; ++c) {
          acc[static_cast<size_t>(x) * 4 + c] += static_cast<uint64_t>(sum[c]) * vertical.weights[k];
        }
      }
    }
    uint32_t* target = out->data() + static_cast<size_t>(y) * targetWidth;
    for (int x = 0; x < targetWidth; ++x) {
      uint32_t value = 0;
      for (int c = 0; c < 4; ++c) {
        uint64_t v = (acc[static_cast<size_t>(x) * 4 + c] + (1ull << 31)) >> 32;
        value |= static_cast<uint32_t>(std::min<uint64_t>(v, 255)) << (8 * c);
      }
      target[x] = value;
    }
  }
  return true;
}

}  // namespace DuiLib
