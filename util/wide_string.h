// GBK (code page 936) to UTF-16 for the archive library and shell links.
#pragma once

#include <string>

// Converts an 8-bit GBK string to UTF-16. The C runtime's locale is switched
// to Chinese (Simplified) for the conversion and restored afterwards, so the
// result does not depend on the locale the process had. Not safe against a
// concurrent locale change on another thread.
std::wstring AnsiPathToWide(const std::string& text);
