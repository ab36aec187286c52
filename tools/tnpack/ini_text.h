// Reads one value out of INI text the way the installer's profile reader
// sees it: section and key names compared exactly, white space around keys
// and values removed.
#pragma once

#include <string>

namespace tnpack {

// The value of the first |key| in the first section named |section|.
// False when there is none.
bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string* value);

}  // namespace tnpack
