// Pieces of a file read at given offsets, for the checks that look into an
// installer or an archive without loading it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace tnpack {

class FileReader {
 public:
  explicit FileReader(const std::string& path);
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // The file's size in bytes, or -1 when it cannot be opened.
  int64_t size() const { return size_; }

  // Copies up to |count| bytes from |offset| into |buffer| and returns how
  // many it copied: fewer at the end of the file or on a read error.
  size_t ReadAt(int64_t offset, void* buffer, size_t count);

  // Up to |count| bytes from |offset|, as ReadAt gives them.
  std::string Read(int64_t offset, size_t count);

 private:
  std::ifstream in_;
  int64_t size_;
};

}  // namespace tnpack
