#include "payload/console_status.h"

#include <cstdio>

#include "util/text_encoding.h"

void WriteStatus(const std::string& text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void PrintError(const char* message, const std::string& detail) {
  WriteStatus(std::string("Error: \n") + message + "\n" + detail);
}

void PrintError(const char* message, const std::wstring& detail) {
  PrintError(message, WideToSystemAnsi(detail));
}

void ConsoleStatusBuffer::Append(const char* text) {
  pending_ += text;
  if (pending_.size() >= kWriteAt) Flush();
}

void ConsoleStatusBuffer::Flush() {
  if (pending_.empty()) return;
  WriteStatus(pending_);
  pending_.clear();
}
