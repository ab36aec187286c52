#include "tools/tnpack/file_reader.h"

namespace tnpack {

FileReader::FileReader(const std::string& path) : in_(path, std::ios::binary) {
  in_.seekg(0, std::ios::end);
  size_ = in_ ? static_cast<int64_t>(in_.tellg()) : -1;
}

size_t FileReader::ReadAt(int64_t offset, void* buffer, size_t count) {
  in_.clear();
  in_.seekg(offset);
  in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
  return static_cast<size_t>(in_.gcount());
}

std::string FileReader::Read(int64_t offset, size_t count) {
  std::string bytes(count, '\0');
  bytes.resize(ReadAt(offset, &bytes[0], count));
  return bytes;
}

}  // namespace tnpack
