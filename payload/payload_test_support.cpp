#include "payload/payload_test_support.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include "tests/support/test_support.h"
#include "util/text_encoding.h"
#include "util/scoped_handle.h"

namespace payload_test {

std::string TestData(const std::string& name) {
  return tn_test::BuildPath("payload\\testdata\\" + name);
}

std::string ArchiveLibrary() { return tn_test::BuildPath("7zTmp.dll"); }

std::wstring Wide(const std::string& ansi) { return SystemAnsiToWide(ansi); }

namespace {

std::string ReadWide(const std::wstring& path) {
  tn::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return "<unreadable>";
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

void Walk(const std::wstring& root, const std::wstring& relative,
          std::map<std::wstring, Entry>* entries) {
  WIN32_FIND_DATAW data;
  const std::wstring directory = relative.empty() ? root : root + L"\\" + relative;
  tn::ScopedFindHandle find(::FindFirstFileW((directory + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
    Entry entry;
    entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.attributes = data.dwFileAttributes;
    entry.write_time = data.ftLastWriteTime;
    if (!entry.directory) entry.bytes = ReadWide(root + L"\\" + path);
    (*entries)[path] = entry;
    if (entry.directory) Walk(root, path, entries);
  } while (::FindNextFileW(find.Get(), &data));
}

}  // namespace

std::map<std::wstring, Entry> ListTree(const std::wstring& root) {
  std::map<std::wstring, Entry> entries;
  Walk(root, L"", &entries);
  return entries;
}

StdoutCapture::StdoutCapture(const std::string& path) : path_(path) {
  std::fflush(stdout);
  saved_ = _dup(_fileno(stdout));
  file_ = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (file_ >= 0) _dup2(file_, _fileno(stdout));
}

StdoutCapture::~StdoutCapture() { Finish(); }

std::string StdoutCapture::Finish() {
  if (saved_ < 0) return tn_test::ReadFileBytes(path_);
  std::fflush(stdout);
  _dup2(saved_, _fileno(stdout));
  _close(saved_);
  saved_ = -1;
  if (file_ >= 0) _close(file_);
  file_ = -1;
  return tn_test::ReadFileBytes(path_);
}

}  // namespace payload_test
