// Looking for and ending processes by executable file name, and starting a
// program through the shell.
#pragma once

#include <string>

// True if a process whose executable file name equals |exe_name|, ignoring
// letter case, is running. An empty name gives false.
bool IsProcessRunning(const std::string& exe_name);

// Terminates (exit code 0) every process whose executable file name equals
// |exe_name| exactly, letter case included. True when all of them were
// terminated or none runs; false at the first one that could not be opened or
// terminated (the walk stops there). An empty name gives false.
bool TerminateProcessesByName(const std::string& exe_name);

// Starts |program| (GBK) with the shell's "open" verb, |parameters| and the
// working folder |directory| (empty: none), shown as |show| (SW_HIDE,
// SW_SHOWNORMAL, ...), and forgets it. The shell's error box is suppressed:
// a missing program fails silently. True when the shell started it.
bool OpenProgramSilently(const std::string& program, const std::string& parameters,
                         const std::string& directory, int show);
