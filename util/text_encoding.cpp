#include "util/text_encoding.h"

#include <windows.h>

std::wstring MultiByteToWide(unsigned code_page, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, &result[0], length);
  return result;
}

std::string WideToMultiByte(unsigned code_page, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), size, &result[0], length, nullptr, nullptr);
  return result;
}

std::wstring AnsiPathToWide(const std::string& text) {
  return MultiByteToWide(kInstallerCodePage, text);
}

std::wstring SystemAnsiToWide(const std::string& text) { return MultiByteToWide(CP_ACP, text); }

std::string WideToSystemAnsi(const std::wstring& text) { return WideToMultiByte(CP_ACP, text); }
