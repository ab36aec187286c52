// Reads files out of a ZIP archive held in memory (the skin package mapped
// from the executable's resources). The bytes are not copied: they must
// outlive the reader. No Windows headers, so the host build and the fuzzer
// share it.
//
// Nothing in the archive is trusted: every offset and size is checked
// against the buffer, the local header must agree with the central
// directory, and the CRC-32 of each inflated entry is verified. Only the
// stored and deflate methods are read; encrypted, ZIP64 and multi-disk
// archives are refused.
//
//   [local header + data] ... [central directory] [end record (+ comment)]
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace DuiLib {

class ZipReader {
 public:
  // Entries larger than this are refused instead of allocated.
  static constexpr uint32_t kMaxEntrySize = 64u * 1024 * 1024;

  struct Entry {
    std::string name;        // as stored ("image/close.bmp")
    std::string lookup_key;  // lower case, "/" separators
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc32 = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    uint32_t local_header_offset = 0;
  };

  // Reads the central directory. False (and no entries) when the archive
  // is truncated or malformed.
  bool Open(const void* data, size_t size);
  void Close();
  bool IsOpen() const { return data_ != nullptr; }
  size_t GetCount() const { return entries_.size(); }
  const std::vector<Entry>& entries() const { return entries_; }

  // The entry whose name equals |name| when "\" and "/" are treated alike
  // and ASCII letter case is ignored; null when absent.
  const Entry* Find(const std::string& name) const;
  // The content of |name|. False with a reason in |error| when the entry
  // is missing, unreadable or damaged; |out| is then empty.
  bool Read(const std::string& name, std::string* out, std::string* error = nullptr) const;
  bool ReadEntry(const Entry& entry, std::string* out, std::string* error = nullptr) const;

  // "Image\\X.bmp" -> "image/x.bmp".
  static std::string NormalizeName(const std::string& name);

 private:
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace DuiLib
