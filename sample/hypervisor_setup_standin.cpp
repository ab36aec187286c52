// Stands in for the hypervisor's setup program: it records how it was started
// (the installer runs it through a batch file with silent-install switches),
// takes a while like a real setup, and exits with 0. It installs nothing.
//
// The pause in milliseconds comes from the environment variable
// TN_VMWARE_SETUP_MS, else from the text file "VMware14.delay" next to the
// program, else 3000; it is capped at ten minutes.
//
// A console program, so the command interpreter that runs the batch file
// waits for it as it would for the real setup.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "sample/launch_record.h"
#include "util/scoped_handle.h"

namespace {

constexpr unsigned long kDefaultDelayMs = 3000;
constexpr unsigned long kMaximumDelayMs = 10 * 60 * 1000;

bool ParseDelay(const std::string& text, unsigned long* delay) {
  const char* start = text.c_str();
  while (*start == ' ' || *start == '\t') ++start;
  if (*start < '0' || *start > '9') return false;
  char* end = nullptr;
  const unsigned long value = std::strtoul(start, &end, 10);
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
  if (*end != '\0') return false;
  *delay = value > kMaximumDelayMs ? kMaximumDelayMs : value;
  return true;
}

std::string ReadSmallFile(const std::string& path) {
  tn::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  char buffer[64] = {};
  DWORD read = 0;
  if (!ReadFile(file.Get(), buffer, sizeof(buffer) - 1, &read, nullptr)) return std::string();
  return std::string(buffer, read);
}

std::pair<unsigned long, std::string> SetupDelay() {
  unsigned long delay = kDefaultDelayMs;
  char value[64] = {};
  const DWORD length = GetEnvironmentVariableA("TN_VMWARE_SETUP_MS", value, sizeof(value));
  if (length > 0 && length < sizeof(value) && ParseDelay(value, &delay)) {
    return {delay, "environment"};
  }
  char path[MAX_PATH * 2] = {};
  const DWORD path_length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string delay_file(path, path_length < sizeof(path) ? path_length : 0);
  const size_t slash = delay_file.find_last_of('\\');
  if (slash != std::string::npos) {
    delay_file = delay_file.substr(0, slash + 1) + "VMware14.delay";
    if (ParseDelay(ReadSmallFile(delay_file), &delay)) return {delay, "file"};
  }
  return {kDefaultDelayMs, "default"};
}

}  // namespace

int main() {
  const auto delay = SetupDelay();
  sample::AppendLaunchRecord(
      "start", {{"delay_ms", std::to_string(delay.first)}, {"delay_source", delay.second}});
  Sleep(delay.first);
  sample::AppendLaunchRecord("finish");
  return 0;
}
