#include "tools/tnpack/sevenzip_header.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "util/byte_reader.h"

namespace tnpack {
namespace {

constexpr unsigned char kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr size_t kStartHeaderSize = 32;
constexpr uint64_t kMaxNextHeaderSize = 1ull << 28;

// 7z property ids used while walking an encoded header.
enum : uint8_t {
  kEnd = 0x00,
  kHeader = 0x01,
  kPackInfo = 0x06,
  kUnpackInfo = 0x07,
  kSize = 0x09,
  kCrc = 0x0A,
  kFolder = 0x0B,
  kEncodedHeader = 0x17,
};

// The 7zAES coder id.
const uint8_t kAesCoderId[4] = {0x06, 0xF1, 0x07, 0x01};

// 7z's variable-length number. A read past the end fails |reader| for good.
uint64_t ReadNumber(tn::ByteReader* reader) {
  const uint8_t first = reader->U8();
  uint8_t mask = 0x80;
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    if ((first & mask) == 0) {
      const uint64_t high = first & (mask - 1u);
      return value | (high << (8 * i));
    }
    value |= static_cast<uint64_t>(reader->U8()) << (8 * i);
    mask >>= 1;
  }
  return value;
}

// Walks the StreamsInfo of an encoded header and reports whether any coder
// of its folders is the AES coder.
bool EncodedHeaderUsesAes(tn::ByteReader* reader, bool* uses_aes) {
  *uses_aes = false;
  uint8_t id = reader->U8();
  if (id == kPackInfo) {
    ReadNumber(reader);  // pack position
    const uint64_t streams = ReadNumber(reader);
    if (streams > (1u << 20)) return false;
    for (id = reader->U8(); !reader->Failed() && id != kEnd; id = reader->U8()) {
      if (id == kSize) {
        for (uint64_t i = 0; i < streams; ++i) ReadNumber(reader);
      } else if (id == kCrc) {
        const uint8_t all_defined = reader->U8();
        uint64_t defined = streams;
        if (!all_defined) {
          defined = 0;
          for (uint64_t i = 0; i < (streams + 7) / 8; ++i) {
            uint8_t bits = reader->U8();
            for (; bits; bits &= bits - 1) ++defined;
          }
        }
        reader->Skip(4 * defined);
      } else {
        reader->Skip(ReadNumber(reader));
      }
    }
    id = reader->U8();
  }
  if (id != kUnpackInfo || reader->U8() != kFolder) return false;
  const uint64_t folders = ReadNumber(reader);
  if (folders > (1u << 16) || reader->U8() != 0 /* not external */) return false;
  for (uint64_t f = 0; f < folders && !reader->Failed(); ++f) {
    const uint64_t coders = ReadNumber(reader);
    if (coders == 0 || coders > 64) return false;
    uint64_t in_total = 0, out_total = 0;
    for (uint64_t c = 0; c < coders && !reader->Failed(); ++c) {
      const uint8_t main_byte = reader->U8();
      const unsigned id_size = main_byte & 0x0F;
      if (id_size > reader->Remaining()) return false;
      uint8_t coder_id[0x0F];
      for (unsigned i = 0; i < id_size; ++i) coder_id[i] = reader->U8();
      if (id_size == sizeof(kAesCoderId) && std::memcmp(coder_id, kAesCoderId, id_size) == 0) {
        *uses_aes = true;
      }
      uint64_t in = 1, out = 1;
      if (main_byte & 0x10) {
        in = ReadNumber(reader);
        out = ReadNumber(reader);
        if (in > 64 || out > 64) return false;
      }
      in_total += in;
      out_total += out;
      if (main_byte & 0x20) reader->Skip(ReadNumber(reader));
    }
    if (out_total == 0) return false;
    const uint64_t bind_pairs = out_total - 1;
    for (uint64_t b = 0; b < bind_pairs; ++b) {
      ReadNumber(reader);
      ReadNumber(reader);
    }
    if (in_total < bind_pairs) return false;
    const uint64_t packed = in_total - bind_pairs;
    if (packed > 1) {
      for (uint64_t p = 0; p < packed; ++p) ReadNumber(reader);
    }
  }
  return !reader->Failed();
}

}  // namespace

uint32_t Crc32(const void* data, size_t size) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1u)));
      table[i] = value;
    }
    ready = true;
  }
  uint32_t crc = 0xFFFFFFFFu;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

bool IsValidStartHeader(const std::string& start_header) {
  if (start_header.size() < kStartHeaderSize ||
      std::memcmp(start_header.data(), kSignature, sizeof(kSignature)) != 0) {
    return false;
  }
  uint32_t stored_crc = 0;
  return tn::ByteReader(start_header).U32(8, &stored_crc) &&
         Crc32(start_header.data() + 12, 20) == stored_crc;
}

bool InspectSevenZip(const std::string& path, uint64_t offset, SevenZipInfo* info,
                     std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  file.seekg(0, std::ios::end);
  const uint64_t file_size = static_cast<uint64_t>(file.tellg());
  std::string start(kStartHeaderSize, '\0');
  file.seekg(static_cast<std::streamoff>(offset));
  if (!file.read(&start[0], kStartHeaderSize) || !IsValidStartHeader(start)) {
    *error = "no valid 7z start header";
    return false;
  }
  // The start header was read whole, so the fields are all there.
  tn::ByteReader fields(start);
  fields.Seek(12);
  const uint64_t next_offset = fields.U64();
  const uint64_t next_size = fields.U64();
  const uint32_t next_crc = fields.U32();
  const uint64_t header_at = offset + kStartHeaderSize + next_offset;
  if (next_offset > file_size || next_size == 0 || next_size > kMaxNextHeaderSize ||
      header_at > file_size || next_size > file_size - header_at) {
    *error = "the 7z header lies outside the file (truncated archive?)";
    return false;
  }
  std::vector<unsigned char> header(next_size);
  file.seekg(static_cast<std::streamoff>(header_at));
  if (!file.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(next_size)) ||
      Crc32(header.data(), header.size()) != next_crc) {
    *error = "the 7z header is damaged";
    return false;
  }
  info->archive_size = kStartHeaderSize + next_offset + next_size;
  tn::ByteReader reader(header.data(), header.size());
  const uint8_t kind = reader.U8();
  if (kind == kHeader) {
    info->header_encrypted = false;
    return true;
  }
  if (kind != kEncodedHeader || !EncodedHeaderUsesAes(&reader, &info->header_encrypted)) {
    *error = "the 7z header cannot be parsed";
    return false;
  }
  return true;
}

size_t FindStartHeader(const std::string& bytes) {
  for (size_t at = 0; at + kStartHeaderSize <= bytes.size(); ++at) {
    if (bytes[at] == kSignature[0] && IsValidStartHeader(bytes.substr(at, kStartHeaderSize)))
      return at;
  }
  return std::string::npos;
}

}  // namespace tnpack
