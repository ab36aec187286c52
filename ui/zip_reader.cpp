#include "ui/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace DuiLib {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint64_t kMaxDeflateRatio = 1032;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool SetError(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

}  // namespace

std::string ZipReader::NormalizeName(const std::string& name) {
  std::string key = name;
  for (char& c : key) {
    if (c == '\\') c = '/';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

void ZipReader::Close() {
  data_ = nullptr;
  size_ = 0;
  entries_.clear();
}

bool ZipReader::Open(const void* data, size_t size) {
  Close();
  if (!data || size < kEndRecordSize) return false;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);

  // The end record sits at the end, followed only by its comment.
  size_t end_record = SIZE_MAX;
  size_t lowest = size > kEndRecordSize + kMaxCommentSize ? size - kEndRecordSize - kMaxCommentSize : 0;
  for (size_t pos = size - kEndRecordSize + 1; pos-- > lowest;) {
    if (Read32(bytes + pos) == kEndRecordSignature &&
        pos + kEndRecordSize + Read16(bytes + pos + 20) == size) {
      end_record = pos;
      break;
    }
  }
  if (end_record == SIZE_MAX) return false;
  const unsigned char* end = bytes + end_record;
  uint16_t disk = Read16(end + 4);
  uint16_t cd_disk = Read16(end + 6);
  uint16_t entries_here = Read16(end + 8);
  uint16_t entries_total = Read16(end + 10);
  uint32_t cd_size = Read32(end + 12);
  uint32_t cd_offset = Read32(end + 16);
  if (disk != 0 || cd_disk != 0 || entries_here != entries_total) return false;
  if (cd_offset > end_record || cd_size > end_record - cd_offset) return false;

  std::vector<Entry> entries;
  entries.reserve(entries_total);
  size_t pos = cd_offset;
  const size_t cd_end = static_cast<size_t>(cd_offset) + cd_size;
  for (uint32_t n = 0; n < entries_total; ++n) {
    if (cd_end - pos < kCentralHeaderSize) return false;
    const unsigned char* h = bytes + pos;
    if (Read32(h) != kCentralHeaderSignature) return false;
    size_t name_len = Read16(h + 28);
    size_t extra_len = Read16(h + 30);
    size_t comment_len = Read16(h + 32);
    size_t record = kCentralHeaderSize + name_len + extra_len + comment_len;
    if (cd_end - pos < record) return false;
    Entry e;
    e.flags = Read16(h + 8);
    e.method = Read16(h + 10);
    e.crc32 = Read32(h + 16);
    e.compressed_size = Read32(h + 20);
    e.uncompressed_size = Read32(h + 24);
    e.local_header_offset = Read32(h + 42);
    e.name.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize), name_len);
    e.lookup_key = NormalizeName(e.name);
    entries.push_back(std::move(e));
    pos += record;
  }
  data_ = bytes;
  size_ = size;
  entries_ = std::move(entries);
  return true;
}

const ZipReader::Entry* ZipReader::Find(const std::string& name) const {
  if (!data_) return nullptr;
  std::string key = NormalizeName(name);
  for (const Entry& e : entries_) {
    if (e.lookup_key == key) return &e;
  }
  return nullptr;
}

bool ZipReader::Read(const std::string& name, std::string* out, std::string* error) const {
  out->clear();
  const Entry* entry = Find(name);
  if (!entry) return SetError(error, "no such file in the package");
  return ReadEntry(*entry, out, error);
}

bool ZipReader::ReadEntry(const Entry& e, std::string* out, std::string* error) const {
  out->clear();
  if (!data_) return SetError(error, "package not open");
  if (e.flags & kFlagEncrypted) return SetError(error, "encrypted entry");
  if (e.method != kMethodStored && e.method != kMethodDeflate) return SetError(error, "unsupported method");
  if (e.uncompressed_size > kMaxEntrySize || e.compressed_size == 0xFFFFFFFFu)
    return SetError(error, "entry too large");
  // Deflate cannot expand data more than about 1032 times; a larger
  // declared size is a lie, refused before anything is allocated for it.
  if (e.method == kMethodDeflate &&
      e.uncompressed_size > static_cast<uint64_t>(e.compressed_size) * kMaxDeflateRatio + 64)
    return SetError(error, "declared size does not fit the compressed data");

  size_t offset = e.local_header_offset;
  if (offset > size_ || size_ - offset < kLocalHeaderSize) return SetError(error, "local header out of range");
  const unsigned char* h = data_ + offset;
  if (Read32(h) != kLocalHeaderSignature) return SetError(error, "bad local header");
  size_t name_len = Read16(h + 26);
  size_t extra_len = Read16(h + 28);
  if (size_ - offset - kLocalHeaderSize < name_len + extra_len) return SetError(error, "local header out of range");
  if (Read16(h + 8) != e.method) return SetError(error, "local header disagrees with the directory");
  if (name_len != e.name.size() ||
      std::memcmp(h + kLocalHeaderSize, e.name.data(), name_len) != 0)
    return SetError(error, "local header disagrees with the directory");
  size_t data_start = offset + kLocalHeaderSize + name_len + extra_len;
  if (size_ - data_start < e.compressed_size) return SetError(error, "entry data out of range");
  const unsigned char* src = data_ + data_start;

  std::string content;
  if (e.method == kMethodStored) {
    if (e.compressed_size != e.uncompressed_size) return SetError(error, "stored sizes differ");
    content.assign(reinterpret_cast<const char*>(src), e.compressed_size);
  } else {
    content.resize(e.uncompressed_size);
    z_stream zs;
    std::memset(&zs, 0, sizeof(zs));
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return SetError(error, "inflate failed to start");
    // An empty output buffer still needs a valid pointer for zlib.
    unsigned char dummy = 0;
    zs.next_in = const_cast<Bytef*>(src);
    zs.avail_in = e.compressed_size;
    zs.next_out = content.empty() ? &dummy : reinterpret_cast<Bytef*>(&content[0]);
    zs.avail_out = static_cast<uInt>(content.size());
    int rc = inflate(&zs, Z_FINISH);
    uLong produced = zs.total_out;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) return SetError(error, "compressed data damaged or larger than declared");
    if (produced != e.uncompressed_size) return SetError(error, "size differs from the directory");
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
  if (crc != e.crc32) return SetError(error, "CRC mismatch");
  *out = std::move(content);
  return true;
}

}  // namespace DuiLib
