// Whether one path lies inside another, for the checks that keep the
// installer out of the product folder and a followed link inside it.
#pragma once

#include <filesystem>

namespace tnpack {

// True when |inner| is |outer| or lies below it. The paths are compared part
// by part, so "/a/bc" is not inside "/a/b"; nothing is resolved here, so both
// should be canonical (no "..", no links, no trailing separator). An empty
// |outer| contains every path.
bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

}  // namespace tnpack
