// Conversions between the installer's 8-bit strings and UTF-16. They touch
// no process-wide state (no C-runtime locale), so any thread may call them.
#pragma once

#include <string>

// Code page of the installer's own strings: its texts, the configuration and
// the paths it builds are GBK whatever the system's code page is.
constexpr unsigned kInstallerCodePage = 936;

// |text| in |code_page| to UTF-16. Bytes that do not form a character of the
// code page become the code page's default character; the empty text gives
// the empty text.
std::wstring MultiByteToWide(unsigned code_page, const std::string& text);
// |text| to |code_page|; characters the code page lacks become its default
// character ("?").
std::string WideToMultiByte(unsigned code_page, const std::wstring& text);

// GBK to UTF-16, for shell-link file names and the archive library's paths.
std::wstring AnsiPathToWide(const std::string& text);

// The system's ANSI code page to UTF-16 and back, for text that the "A"
// functions of the system give or take.
std::wstring SystemAnsiToWide(const std::string& text);
std::string WideToSystemAnsi(const std::wstring& text);
