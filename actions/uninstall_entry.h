// The product's entry in the system's list of installed programs, under
// HKEY_LOCAL_MACHINE\<kUninstallKeyBranch><registry key name>. The key is
// opened without a registry-view flag, so on 64-bit Windows this 32-bit
// program writes and reads the 32-bit view (Wow6432Node).
#pragma once

#include <string>

#include "actions/install_state.h"

constexpr char kUninstallKeyBranch[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The directory of an earlier installation: the uninstall entry's
// "DisplayIcon" cut before its last backslash. Empty when the key or value
// is missing, not a NUL-terminated string of at most 1024 bytes, or when the
// directory is not one a removal may touch (IsRemovablePreviousInstallDir).
std::string FindPreviousInstallDirectory(const std::string& reg_key_name);

// Writes the uninstall entry from the configuration section TARNIS_INFO:
// every entry but "RegeditKeyName", numeric values as REG_DWORD (their
// leading integer), others as REG_SZ, "DisplayIcon" and "UninstallString"
// prefixed with the install directory and a backslash. Values of the key
// that the configuration does not name stay. Sets |display_name| to the
// configured "DisplayName" (left unchanged when the section has none). False,
// writing nothing, when the key cannot be created or opened; failed writes
// of single values are passed over.
bool RegisterUninstallEntry(const InstallState& state, std::string* display_name);

// The value of a numeric configuration entry as a REG_DWORD: leading white
// space skipped, an optional sign, then decimal digits up to the first other
// character; 0 without digits. "007" gives 7, "2.5" gives 2.
long ParseLeadingInteger(const std::string& text);
