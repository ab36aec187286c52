// libFuzzer target: the skin package reader must survive any bytes, and
// whatever it returns must be the size the directory declared.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/bitmap_reader.h"
#include "ui/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DuiLib::ZipReader reader;
  if (!reader.Open(data, size)) return 0;
  for (const auto& entry : reader.entries()) {
    std::string out;
    if (reader.ReadEntry(entry, &out)) {
      if (out.size() != entry.uncompressed_size) std::abort();
      // Images in the package go on to the bitmap decoder.
      DuiLib::DecodedBitmap image;
      DuiLib::DecodeBmp24(out.data(), out.size(), &image);
    }
    reader.Find(entry.name);
  }
  return 0;
}
