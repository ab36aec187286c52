#include "tools/tnpack/path_containment.h"

namespace tnpack {

bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (i == inner.end() || *o != *i) return false;
  }
  return true;
}

}  // namespace tnpack
