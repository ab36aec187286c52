#include "tools/tnpack/work_folder.h"

#include <stdlib.h>

#include <string>

namespace tnpack {

WorkFolder::WorkFolder(const std::filesystem::path& parent) {
  std::string pattern = (parent / ".tnpack-XXXXXX").string();
  if (mkdtemp(&pattern[0])) path_ = pattern;
}

WorkFolder::~WorkFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace tnpack
