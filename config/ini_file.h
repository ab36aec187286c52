// Reading the installer's configuration file into the table.
#pragma once

#include <string>

// Limits of the reader, in bytes: the list of section names (each name and a
// NUL, plus a final NUL) and the entries of one section (each "key=value" and
// a NUL, plus a final NUL). What lies beyond a limit is left out; an entry or
// name that would straddle the limit is left out whole rather than cut.
constexpr size_t kIniSectionNamesLimit = 2048;
constexpr size_t kIniSectionLimit = 260;

// Adds every entry of the INI file |path| to CIniInfoManager, sections in file
// order and entries in section order, through the platform's private-profile
// readers. The key is the text before the first "=", the value everything
// after it, both without surrounding blanks and tabs. Lines without "=" or
// with an empty key are skipped. A missing or unreadable file adds nothing;
// no error is reported.
void LoadIniFile(const std::string& path);
