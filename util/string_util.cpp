#include "util/string_util.h"

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter) {
  if (delimiter.empty()) return {text};
  std::vector<std::string> pieces;
  const std::string extended = text + delimiter;
  std::string::size_type position = 0;
  while (position < extended.size()) {
    const std::string::size_type found = extended.find(delimiter, position);
    if (found == std::string::npos) {
      ++position;
      continue;
    }
    pieces.push_back(extended.substr(position, found - position));
    position = found + delimiter.size();
  }
  return pieces;
}
