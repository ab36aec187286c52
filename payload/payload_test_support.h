// Helpers shared by the payload tests.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace payload_test {

// A file made by make_test_archives.py (or tnpack) in the build tree.
std::string TestData(const std::string& name);
// The archive library built from 7-Zip's sources.
std::string ArchiveLibrary();

std::wstring Wide(const std::string& ansi);

struct Entry {
  bool directory = false;
  DWORD attributes = 0;
  FILETIME write_time = {};
  std::string bytes;
};
// Everything below |root|, keyed by the relative path with "\" separators.
std::map<std::wstring, Entry> ListTree(const std::wstring& root);

// Redirects the C runtime's standard output to a file while it lives.
class StdoutCapture {
 public:
  explicit StdoutCapture(const std::string& path);
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Ends the capture and returns what was written.
  std::string Finish();

 private:
  std::string path_;
  int saved_ = -1;
  int file_ = -1;
};

}  // namespace payload_test
