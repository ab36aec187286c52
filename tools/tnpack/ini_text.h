// Reads values out of INI text the way the installer's profile reader
// sees it: section and key names compared exactly, white space around keys
// and values removed, only the first section of a name counts.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tnpack {

// The value of the first |key| in the first section named |section|.
// False when there is none.
bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string* value);

// The key/value entries of the first section named |section|, in order;
// empty when there is no such section.
std::vector<std::pair<std::string, std::string>> IniSectionEntries(const std::string& text,
                                                                   const std::string& section);

// True when |text| has a section named |section|.
bool HasIniSection(const std::string& text, const std::string& section);

}  // namespace tnpack
