// Looking for and ending processes by executable file name.
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
