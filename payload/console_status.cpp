#include "payload/console_status.h"

#include <cstdio>

#include "util/text_encoding.h"

void PrintError(const char* message, const std::string& detail) {
  std::printf("Error: \n%s\n%s", message, detail.c_str());
  std::fflush(stdout);
}

void PrintError(const char* message, const std::wstring& detail) {
  PrintError(message, WideToSystemAnsi(detail));
}
