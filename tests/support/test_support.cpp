#include "tests/support/test_support.h"

#include <cstdlib>

#include "util/file_util.h"

namespace tn_test {
namespace {

std::string UnixToWine(const char* unix_path, const std::string& relative) {
  std::string path = "Z:";
  path += unix_path ? unix_path : "";
  path += "/" + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

std::string BuildPath(const std::string& relative) {
  return UnixToWine(std::getenv("TN_BUILD_DIR"), relative);
}

std::string SourcePath(const std::string& relative) {
  return UnixToWine(std::getenv("TN_SOURCE_DIR"), relative);
}

ScopedTempDir::ScopedTempDir() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  static LONG counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = std::string(temp) + "tn_test_" + std::to_string(GetCurrentProcessId()) +
                            "_" + std::to_string(InterlockedIncrement(&counter));
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

ScopedTempDir::~ScopedTempDir() {
  if (!path_.empty()) RemoveDirectoryTree(path_);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  tn::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadFileBytes(const std::string& path) {
  tn::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

tn::ScopedHandle StartProcess(const std::string& command_line, const std::string& directory) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  std::string mutable_line = command_line;
  if (!CreateProcessA(nullptr, &mutable_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    return tn::ScopedHandle();
  }
  const tn::ScopedHandle thread(info.hThread);
  return tn::ScopedHandle(info.hProcess);
}

tn::ScopedHandle StartIdleProgramAs(const std::string& directory, const std::string& exe_name) {
  const std::string target = directory + "\\" + exe_name;
  if (!CopyFileA(BuildPath("tn_idle.exe").c_str(), target.c_str(), FALSE))
    return tn::ScopedHandle();
  return StartProcess("\"" + target + "\"", directory);
}

}  // namespace tn_test
