// Resampling of 32-bit pixels (0x00RRGGBB or 0xAARRGGBB) by area
// averaging: every target pixel is the mean of the source area it covers,
// weighted by coverage. Shrinking keeps thin lines as lighter lines instead
// of dropping them, and enlarging keeps edges sharp with one blended pixel
// where a source pixel boundary falls inside a target pixel. Weights are
// 8-bit fixed point; a flat colour stays exactly that colour. No Windows
// headers: shared with the host tests.
#pragma once

#include <cstdint>
#include <vector>

namespace DuiLib {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Resamples the part |from| of a |width| x |height| image (rows of |stride|
// pixels, top row first) to |targetWidth| x |targetHeight| pixels written
// to |out| (rows of |targetWidth|). |from| is clipped to the image. False
// (|out| emptied) when the clipped part or the target is empty.
bool ResamplePixels(const uint32_t* pixels, int width, int height, int stride, PixelRect from,
                    int targetWidth, int targetHeight, std::vector<uint32_t>* out);

}  // namespace DuiLib
