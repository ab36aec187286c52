// A private folder for intermediate files, removed with everything in it
// when its owner goes out of scope (also after a failure or an interrupt).
#pragma once

#include <filesystem>

namespace tnpack {

class WorkFolder {
 public:
  // Creates "<parent>/.tnpack-XXXXXX" (mode 0700); path() is empty when
  // that fails.
  explicit WorkFolder(const std::filesystem::path& parent);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tnpack
