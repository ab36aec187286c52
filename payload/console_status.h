// The archive client's short English status texts on standard output. A
// windowed program has no console attached, which is harmless; the texts
// serve when the worker runs under a console (the benchmark, the tests).
#pragma once

#include <string>

// Writes "Error: \n<message>\n<detail>" and flushes.
void PrintError(const char* message, const std::string& detail = std::string());
// The same with a UTF-16 detail, shown in the system's code page.
void PrintError(const char* message, const std::wstring& detail);

// Writes |text| to standard output in one piece and flushes.
void WriteStatus(const std::string& text);

// The status lines of one extraction, written out a few kilobytes at a time.
// Standard output is often unbuffered (a console, a terminal, the null
// device), and the runtime's printf then writes character by character: a
// system call each, under Wine a round trip to the server, some fifty per
// extracted file. Flush before anything else is written to standard output,
// so that the order stays as it was produced.
class ConsoleStatusBuffer {
 public:
  ConsoleStatusBuffer() = default;
  ~ConsoleStatusBuffer() { Flush(); }
  ConsoleStatusBuffer(const ConsoleStatusBuffer&) = delete;
  ConsoleStatusBuffer& operator=(const ConsoleStatusBuffer&) = delete;

  void Append(const char* text);
  void Append(const std::string& text) { Append(text.c_str()); }
  void Flush();

 private:
  static constexpr size_t kWriteAt = 4096;
  std::string pending_;
};
