#include "ui/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "util/byte_reader.h"

namespace DuiLib {

namespace {

using tn::SetError;

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

}  // namespace

std::string ZipReader::NormalizeName(const std::string& name) {
  std::string key = name;
  for (char& c : key) {
    if (c == '\\')
      c = '/';
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
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

  tn::ByteReader archive(bytes, size);

  // The end record sits at the end, followed only by its comment.
  size_t end_record = SIZE_MAX;
  size_t lowest =
      size > kEndRecordSize + kMaxCommentSize ? size - kEndRecordSize - kMaxCommentSize : 0;
  for (size_t pos = size - kEndRecordSize + 1; pos-- > lowest;) {
    uint32_t signature = 0;
    size_t comment_len = 0;
    if (archive.U32(pos, &signature) && signature == kEndRecordSignature &&
        archive.U16(pos + 20, &comment_len) && pos + kEndRecordSize + comment_len == size) {
      end_record = pos;
      break;
    }
  }
  if (end_record == SIZE_MAX) return false;
  archive.Seek(end_record + 4);
  uint16_t disk = archive.U16();
  uint16_t cd_disk = archive.U16();
  uint16_t entries_here = archive.U16();
  uint16_t entries_total = archive.U16();
  uint32_t cd_size = archive.U32();
  uint32_t cd_offset = archive.U32();
  if (disk != 0 || cd_disk != 0 || entries_here != entries_total) return false;
  if (cd_offset > end_record || cd_size > end_record - cd_offset) return false;

  std::vector<Entry> entries;
  entries.reserve(entries_total);
  size_t pos = cd_offset;
  const size_t cd_end = static_cast<size_t>(cd_offset) + cd_size;
  for (uint32_t n = 0; n < entries_total; ++n) {
    // Read within the directory only.
    tn::ByteReader h(bytes + pos, cd_end - pos);
    const uint32_t signature = h.U32();
    h.Skip(4);  // versions
    Entry e;
    e.flags = h.U16();
    e.method = h.U16();
    h.Skip(4);  // time, date
    e.crc32 = h.U32();
    e.compressed_size = h.U32();
    e.uncompressed_size = h.U32();
    const size_t name_len = h.U16();
    const size_t extra_len = h.U16();
    const size_t comment_len = h.U16();
    h.Skip(8);  // disk, attributes
    e.local_header_offset = h.U32();
    if (h.Failed() || signature != kCentralHeaderSignature) return false;
    size_t record = kCentralHeaderSize + name_len + extra_len + comment_len;
    if (cd_end - pos < record) return false;
    e.name.assign(reinterpret_cast<const char*>(bytes + pos + kCentralHeaderSize), name_len);
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
  if (e.method != kMethodStored && e.method != kMethodDeflate)
    return SetError(error, "unsupported method");
  if (e.uncompressed_size > kMaxEntrySize || e.compressed_size == 0xFFFFFFFFu)
    return SetError(error, "entry too large");
  // Deflate cannot expand data more than about 1032 times; a larger
  // declared size is a lie, refused before anything is allocated for it.
  if (e.method == kMethodDeflate &&
      e.uncompressed_size > static_cast<uint64_t>(e.compressed_size) * kMaxDeflateRatio + 64)
    return SetError(error, "declared size does not fit the compressed data");

  size_t offset = e.local_header_offset;
  if (offset > size_ || size_ - offset < kLocalHeaderSize)
    return SetError(error, "local header out of range");
  tn::ByteReader h(data_ + offset, size_ - offset);
  const uint32_t signature = h.U32();
  h.Skip(4);  // version, flags
  const uint16_t method = h.U16();
  h.Skip(16);  // time, date, CRC and sizes (the directory's count)
  const size_t name_len = h.U16();
  const size_t extra_len = h.U16();
  if (signature != kLocalHeaderSignature) return SetError(error, "bad local header");
  if (size_ - offset - kLocalHeaderSize < name_len + extra_len)
    return SetError(error, "local header out of range");
  if (method != e.method) return SetError(error, "local header disagrees with the directory");
  if (name_len != e.name.size() ||
      std::memcmp(data_ + offset + kLocalHeaderSize, e.name.data(), name_len) != 0)
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
    if (rc != Z_STREAM_END)
      return SetError(error, "compressed data damaged or larger than declared");
    if (produced != e.uncompressed_size) return SetError(error, "size differs from the directory");
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  crc =
      crc32(crc, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
  if (crc != e.crc32) return SetError(error, "CRC mismatch");
  *out = std::move(content);
  return true;
}

}  // namespace DuiLib
