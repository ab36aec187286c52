#include "tools/tnpack/ini_text.h"

namespace tnpack {
namespace {

std::string Trim(const std::string& text) {
  const char* kBlanks = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Walks the first section named |section|; false when there is none.
template <typename Entry>
bool WalkSection(const std::string& text, const std::string& section, Entry entry) {
  bool in_section = false;
  bool section_seen = false;
  size_t start = 0;
  // A UTF-8 byte order mark would glue itself to the first section name.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      const std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      // Only the first section of that name counts.
      if (in_section) return true;
      in_section = !section_seen && name == section;
      section_seen = section_seen || in_section;
      continue;
    }
    if (!in_section) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (!entry(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)))) return true;
  }
  return section_seen;
}

}  // namespace

bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string* value) {
  bool found = false;
  WalkSection(text, section, [&](const std::string& name, const std::string& data) {
    if (name != key) return true;
    *value = data;
    found = true;
    return false;
  });
  return found;
}

std::vector<std::pair<std::string, std::string>> IniSectionEntries(const std::string& text,
                                                                   const std::string& section) {
  std::vector<std::pair<std::string, std::string>> entries;
  WalkSection(text, section, [&](const std::string& name, const std::string& data) {
    entries.emplace_back(name, data);
    return true;
  });
  return entries;
}

bool HasIniSection(const std::string& text, const std::string& section) {
  return WalkSection(text, section, [](const std::string&, const std::string&) { return false; });
}

}  // namespace tnpack
