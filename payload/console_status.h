// The archive client's short English status texts on standard output. A
// windowed program has no console attached, which is harmless; the texts
// serve when the worker runs under a console (the benchmark, the tests).
#pragma once

#include <string>

// Writes "Error: \n<message>\n<detail>" and flushes.
void PrintError(const char* message, const std::string& detail = std::string());
// The same with a UTF-16 detail, shown in the system's code page.
void PrintError(const char* message, const std::wstring& detail);
