// The framework's 8-bit string (GBK inside the installer) and the
// name-or-resource-id argument of the dialog builder.
#pragma once

#include <windows.h>

#include <string>

namespace DuiLib {

class CDuiString {
 public:
  CDuiString() = default;
  CDuiString(LPCSTR text) : text_(text ? text : "") {}  // NOLINT: implicit like LPCSTR
  CDuiString(LPCSTR text, int length);
  CDuiString(const std::string& text) : text_(text) {}  // NOLINT

  LPCSTR GetData() const { return text_.c_str(); }
  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }
  operator LPCSTR() const { return text_.c_str(); }
  const std::string& str() const { return text_; }

  char GetAt(int index) const;
  void Assign(LPCSTR text, int length = -1);
  void Append(LPCSTR text) {
    if (text) text_ += text;
  }

  CDuiString& operator=(LPCSTR text) {
    text_ = text ? text : "";
    return *this;
  }
  CDuiString& operator+=(LPCSTR text) {
    Append(text);
    return *this;
  }
  CDuiString& operator+=(char ch) {
    text_ += ch;
    return *this;
  }
  CDuiString operator+(LPCSTR text) const {
    CDuiString r(*this);
    r += text;
    return r;
  }

  bool operator==(LPCSTR text) const { return text_ == (text ? text : ""); }
  bool operator!=(LPCSTR text) const { return !(*this == text); }
  bool operator==(const CDuiString& other) const { return text_ == other.text_; }
  bool operator!=(const CDuiString& other) const { return text_ != other.text_; }
  bool operator<(const CDuiString& other) const { return text_ < other.text_; }

  int Compare(LPCSTR text) const;
  // ASCII letters compared without case; other bytes compared as they are.
  int CompareNoCase(LPCSTR text) const;

  CDuiString Left(int count) const;
  CDuiString Mid(int pos, int count = -1) const;
  CDuiString Right(int count) const;
  // Byte index of |text| from |start|, or -1.
  int Find(LPCSTR text, int start = 0) const;
  int Find(char ch, int start = 0) const;
  int Replace(LPCSTR from, LPCSTR to);
  void MakeUpper();
  void MakeLower();

  // printf-style; the result may be of any length.
  int Format(LPCSTR format, ...);

 private:
  std::string text_;
};

// Either a file name inside the skin or a resource id (MAKEINTRESOURCE).
class STRINGorID {
 public:
  STRINGorID(LPCSTR name) : m_lpstr(name) {}              // NOLINT
  STRINGorID(UINT id) : m_lpstr(MAKEINTRESOURCEA(id)) {}  // NOLINT
  LPCSTR m_lpstr;
};

}  // namespace DuiLib
