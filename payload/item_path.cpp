#include "payload/item_path.h"

namespace tn {

bool IsSafeItemPath(const std::wstring& path) {
  if (path.empty()) return false;
  if (path[0] == L'\\' || path[0] == L'/') return false;
  if (path.find(L':') != std::wstring::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring part = path.substr(start, end - start);
    if (!part.empty()) {
      bool only_dots_and_blanks = true;
      bool has_dot = false;
      for (wchar_t c : part) {
        if (c == L'.') {
          has_dot = true;
        } else if (c != L' ') {
          only_dots_and_blanks = false;
          break;
        }
      }
      // "." alone is harmless; anything with two or more dots and nothing
      // else can climb.
      if (only_dots_and_blanks && has_dot && part != L".") return false;
    }
    for (wchar_t c : part) {
      if (c < 0x20) return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace tn
