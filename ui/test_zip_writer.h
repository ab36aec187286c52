// Builds small ZIP archives in memory for the tests of the skin readers.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ui_test {

struct ZipItem {
  std::string name;
  std::string data;
  bool deflate = true;
};

inline void Put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}

inline void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline std::string RawDeflate(const std::string& data) {
  z_stream zs;
  std::memset(&zs, 0, sizeof(zs));
  deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, data.size()) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// The fields that the local header and the directory entry share, from
// the flags to the length of the extra field (none, no time).
inline void PutEntryFields(std::string* out, uint16_t method, uint32_t crc, uint32_t packed_size,
                           uint32_t size, uint16_t name_size) {
  Put16(out, 0);  // flags
  Put16(out, method);
  Put32(out, 0);  // time and date
  Put32(out, crc);
  Put32(out, packed_size);
  Put32(out, size);
  Put16(out, name_size);
  Put16(out, 0);  // extra field
}

// A plain single-disk archive with the given items.
inline std::string MakeZip(const std::vector<ZipItem>& items) {
  std::string out, directory;
  for (const ZipItem& item : items) {
    std::string packed = item.deflate ? RawDeflate(item.data) : item.data;
    uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(item.data.data()),
                         static_cast<uInt>(item.data.size()));
    uint32_t offset = static_cast<uint32_t>(out.size());
    uint16_t method = item.deflate ? 8 : 0;
    const uint32_t packed_size = static_cast<uint32_t>(packed.size());
    const uint32_t size = static_cast<uint32_t>(item.data.size());
    const uint16_t name_size = static_cast<uint16_t>(item.name.size());
    Put32(&out, 0x04034b50);
    Put16(&out, 20);  // version needed
    PutEntryFields(&out, method, crc, packed_size, size, name_size);
    out += item.name;
    out += packed;

    Put32(&directory, 0x02014b50);
    Put16(&directory, 20);  // version made by
    Put16(&directory, 20);  // version needed
    PutEntryFields(&directory, method, crc, packed_size, size, name_size);
    Put16(&directory, 0);  // comment
    Put16(&directory, 0);  // disk
    Put16(&directory, 0);  // internal attributes
    Put32(&directory, 0);  // external attributes
    Put32(&directory, offset);
    directory += item.name;
  }
  uint32_t directory_offset = static_cast<uint32_t>(out.size());
  out += directory;
  Put32(&out, 0x06054b50);
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, static_cast<uint16_t>(items.size()));
  Put16(&out, static_cast<uint16_t>(items.size()));
  Put32(&out, static_cast<uint32_t>(directory.size()));
  Put32(&out, directory_offset);
  Put16(&out, 0);
  return out;
}

// A 24-bit BMP of |width| x |height| whose pixel (x, y) is color(x, y)
// (0xRRGGBB); bottom-up unless |top_down|.
template <typename ColorFn>
std::string MakeBmp24(int width, int height, ColorFn color, bool top_down = false) {
  int stride = (width * 3 + 3) & ~3;
  std::string out;
  out += "BM";
  Put32(&out, static_cast<uint32_t>(54 + stride * height));
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, static_cast<uint32_t>(width));
  Put32(&out, static_cast<uint32_t>(top_down ? -height : height));
  Put16(&out, 1);
  Put16(&out, 24);
  Put32(&out, 0);
  Put32(&out, static_cast<uint32_t>(stride * height));
  Put32(&out, 2835);
  Put32(&out, 2835);
  Put32(&out, 0);
  Put32(&out, 0);
  for (int row = 0; row < height; ++row) {
    int y = top_down ? row : height - 1 - row;
    std::string line;
    for (int x = 0; x < width; ++x) {
      uint32_t c = color(x, y);
      line.push_back(static_cast<char>(c & 0xFF));
      line.push_back(static_cast<char>((c >> 8) & 0xFF));
      line.push_back(static_cast<char>((c >> 16) & 0xFF));
    }
    line.resize(static_cast<size_t>(stride), '\0');
    out += line;
  }
  return out;
}

}  // namespace ui_test
