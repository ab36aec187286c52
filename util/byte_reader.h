// Bounds-checked little-endian reads from bytes in memory, for the file
// formats that are taken apart byte by byte (ZIP, BMP, PE, shell links). No
// Windows headers: the host build and the packing tool share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace tn {

// A view of bytes that it does not copy: they must outlive the reader.
//
// Two ways to read:
// - from a cursor, in the order a record lays out its fields: U8(), U16(),
//   U32(), U64() and Skip() move it on. A read past the end gives 0, leaves the
//   cursor where it was and sets the failure flag, which stays set, so a
//   record is read whole and checked once (Failed()).
// - at an offset, for formats of offsets and directories: U16(offset,
//   &value) and its siblings are true with |*value| set when the bytes are
//   all there, else false with |*value| untouched. They leave the cursor
//   and the flag alone.
class ByteReader {
 public:
  ByteReader(const void* data, size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0) {}
  explicit ByteReader(const std::string& bytes) : ByteReader(bytes.data(), bytes.size()) {}

  size_t size() const { return size_; }
  // Whether |length| bytes at |offset| lie inside (without overflow for
  // any values).
  bool Contains(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // --- cursor ---------------------------------------------------------------
  uint64_t Position() const { return position_; }
  uint64_t Remaining() const { return size_ - position_; }
  bool Failed() const { return failed_; }
  // Moves the cursor to |offset|; beyond the end it fails (cursor unchanged).
  void Seek(uint64_t offset) {
    if (offset <= size_)
      position_ = offset;
    else
      failed_ = true;
  }
  void Skip(uint64_t count) {
    if (count <= Remaining())
      position_ += count;
    else
      failed_ = true;
  }
  uint8_t U8() { return Next<uint8_t>(); }
  uint16_t U16() { return Next<uint16_t>(); }
  uint32_t U32() { return Next<uint32_t>(); }
  uint64_t U64() { return Next<uint64_t>(); }

  // --- at an offset -----------------------------------------------------------
  // |T| is any unsigned type at least as wide as the number read.
  template <typename T>
  bool U16(uint64_t offset, T* value) const {
    return At<uint16_t>(offset, value);
  }
  template <typename T>
  bool U32(uint64_t offset, T* value) const {
    return At<uint32_t>(offset, value);
  }
  template <typename T>
  bool U64(uint64_t offset, T* value) const {
    return At<uint64_t>(offset, value);
  }

 private:
  template <typename N>
  N Load(uint64_t offset) const {
    N value = 0;
    for (size_t i = sizeof(N); i-- > 0;) value = static_cast<N>((value << 8) | data_[offset + i]);
    return value;
  }

  template <typename N>
  N Next() {
    if (!Contains(position_, sizeof(N))) {
      failed_ = true;
      return 0;
    }
    N value = Load<N>(position_);
    position_ += sizeof(N);
    return value;
  }

  template <typename N, typename T>
  bool At(uint64_t offset, T* value) const {
    static_assert(std::is_unsigned<T>::value && sizeof(T) >= sizeof(N),
                  "the value must be unsigned and wide enough");
    if (!Contains(offset, sizeof(N))) return false;
    *value = Load<N>(offset);
    return true;
  }

  const unsigned char* data_;
  size_t size_;
  uint64_t position_ = 0;
  bool failed_ = false;
};

// Sets |*error| (when the caller asked for a reason) and returns false, for
// parsers that end with "return SetError(error, ...)".
inline bool SetError(std::string* error, const char* reason) {
  if (error) *error = reason;
  return false;
}

}  // namespace tn
