// Rules for the install directory: its default, the folder-dialog result and
// the path admission rule of the options page. Paths are GBK, without a
// trailing backslash.
#pragma once

#include <string>

// Folder name appended to every chosen folder and to the defaults.
extern const char kProductFolderName[];
// Defaults under WOW64 (a 32-bit installer on 64-bit Windows) and otherwise.
extern const char kDefaultInstallDirWow64[];
extern const char kDefaultInstallDirNative[];

// True when the current process runs under WOW64. IsWow64Process is looked up
// by name in kernel32; a system without it counts as not WOW64.
bool IsCurrentProcessWow64();

// The default install directory for the current process bitness.
std::string DefaultInstallDirectory();

// The install directory for a folder chosen in the folder dialog: one
// trailing "\" removed, then "\ZEVodirodaz" appended ("D:\" gives
// "D:\ZEVodirodaz"). An empty folder gives an empty result.
std::string InstallDirFromChosenFolder(const std::string& folder);

// True as soon as a byte of 0x80 or more is immediately followed by another
// byte of 0x80 or more (every GB2312 Chinese character); ASCII paths and a
// lone high byte followed by ASCII or the end pass. A null string gives false.
bool HasDoubleByteSequence(const char* text);
