#include "ui/ui_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace DuiLib {

CDuiString::CDuiString(LPCSTR text, int length) { Assign(text, length); }

char CDuiString::GetAt(int index) const {
  return index >= 0 && index < GetLength() ? text_[index] : '\0';
}

void CDuiString::Assign(LPCSTR text, int length) {
  if (!text) {
    text_.clear();
  } else if (length < 0) {
    text_ = text;
  } else {
    text_.assign(text, strnlen(text, static_cast<size_t>(length)));
  }
}

int CDuiString::Compare(LPCSTR text) const { return std::strcmp(text_.c_str(), text ? text : ""); }

int CDuiString::CompareNoCase(LPCSTR text) const {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(text_.c_str());
  const unsigned char* b = reinterpret_cast<const unsigned char*>(text ? text : "");
  for (;; ++a, ++b) {
    int ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : *a;
    int cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : *b;
    if (ca != cb || ca == 0) return ca - cb;
  }
}

CDuiString CDuiString::Left(int count) const {
  if (count < 0) count = 0;
  return CDuiString(text_.substr(0, static_cast<size_t>(count)));
}

CDuiString CDuiString::Mid(int pos, int count) const {
  if (pos < 0) pos = 0;
  if (pos >= GetLength()) return CDuiString();
  size_t n = count < 0 ? std::string::npos : static_cast<size_t>(count);
  return CDuiString(text_.substr(static_cast<size_t>(pos), n));
}

CDuiString CDuiString::Right(int count) const {
  if (count < 0) count = 0;
  if (count >= GetLength()) return *this;
  return CDuiString(text_.substr(text_.size() - count));
}

int CDuiString::Find(LPCSTR text, int start) const {
  if (!text || start < 0 || start > GetLength()) return -1;
  size_t at = text_.find(text, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CDuiString::Find(char ch, int start) const {
  if (start < 0 || start > GetLength()) return -1;
  size_t at = text_.find(ch, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CDuiString::Replace(LPCSTR from, LPCSTR to) {
  if (!from || !*from) return 0;
  std::string with = to ? to : "";
  size_t from_len = std::strlen(from);
  int count = 0;
  for (size_t at = text_.find(from); at != std::string::npos;
       at = text_.find(from, at + with.size())) {
    text_.replace(at, from_len, with);
    ++count;
  }
  return count;
}

void CDuiString::MakeUpper() {
  for (char& c : text_)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
}

void CDuiString::MakeLower() {
  for (char& c : text_)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

int CDuiString::Format(LPCSTR format, ...) {
  if (!format) {
    text_.clear();
    return 0;
  }
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed < 0) {
    va_end(args);
    text_.clear();
    return 0;
  }
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  text_.assign(buffer.data(), static_cast<size_t>(needed));
  return needed;
}

}  // namespace DuiLib
