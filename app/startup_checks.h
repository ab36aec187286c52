// Environment checks run by the entry point before the main window exists.
#pragma once

#include <windows.h>

#include <string>

#include "pages/setup_texts.h"

// Message boxes of start-up: texts and captions are GBK, owned by no window;
// their caption is kSetupCaption.
extern const char kSkinErrorCaption[];    // caption of the skin failure box
extern const char kSkinLoadFailedText[];  // skin resource missing
extern const char kNotAdminText[];        // not an administrator
extern const char kProductRunningText[];  // the product runs
extern const char kAlreadyRunningText[];  // another installer holds the mutex

// Name of the single-instance mutex.
extern const char kInstallerMutexName[];
// Executable file name of the product's main program.
extern const char kProductExeName[];

// Limits the DLL search of every later load to the system folder when the
// system offers SetDefaultDllDirectories (looked up by name, absent before
// KB2533623 on Windows 7). Returns true when the restriction is in force.
bool RestrictDllSearchToSystemFolder();

// True when a "<exe>.local" file or folder lies next to |exe_path|: such a
// redirection would let a neighbour of a downloaded installer replace the
// system libraries the installer loads with administrator rights.
bool HasDllRedirection(const std::string& exe_path);

// Full path of the running module (260 characters at most); empty on failure.
std::string CurrentModulePath();

// True when the calling thread's token is a member of the built-in
// Administrators group; a SID or membership failure counts as not a member.
bool IsUserAdmin();

// Writes "<own path>" = REG_DWORD 1 under the Program Compatibility
// Assistant's Persisted key of HKEY_CURRENT_USER. The key is never created:
// when it is missing nothing is written. True when the value was written.
bool SetCompatAssistantFlag();

// True when a process whose executable file name is "ZEVodirodaz.exe",
// ignoring letter case, is running.
bool IsSimulatorRunning();
