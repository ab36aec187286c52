#include "sample/launch_record.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "util/scoped_handle.h"

namespace sample {
namespace {

std::string EscapeValue(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) {
    if (c < 0x20 || c == '%') {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string UnescapeValue(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
        HexDigit(value[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string ModuleFileName() {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return std::string();
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

std::string CurrentDirectory() {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof(path), path);
  return (length == 0 || length >= sizeof(path)) ? std::string() : std::string(path, length);
}

}  // namespace

std::string RecordFilePath() {
  char buffer[MAX_PATH * 2] = {};
  DWORD length = GetEnvironmentVariableA("TN_SAMPLE_RECORD", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) return buffer;
  std::string drive = "C:";
  length = GetEnvironmentVariableA("SystemDrive", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) drive = buffer;
  return drive + "\\tn_sample_record.log";
}

std::string FormatRecordLine(const RecordFields& fields) {
  std::string line;
  for (const auto& field : fields) {
    if (!line.empty()) line += '\t';
    line += field.first + "=" + EscapeValue(field.second);
  }
  return line;
}

RecordFields ParseRecordLine(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  RecordFields fields;
  if (text.empty()) return fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find('\t', start);
    const std::string field = text.substr(start, tab == std::string::npos ? tab : tab - start);
    const size_t equals = field.find('=');
    if (equals == std::string::npos) {
      fields.emplace_back(field, std::string());
    } else {
      fields.emplace_back(field.substr(0, equals), UnescapeValue(field.substr(equals + 1)));
    }
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

std::string FindField(const RecordFields& fields, const std::string& name,
                      const std::string& fallback) {
  for (const auto& field : fields) {
    if (field.first == name) return field.second;
  }
  return fallback;
}

bool AppendLaunchRecord(const std::string& event, const RecordFields& extra) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  char flags[16];
  std::snprintf(flags, sizeof(flags), "0x%08lX", static_cast<unsigned long>(startup.dwFlags));

  RecordFields fields = {
      {"program", ModuleFileName()},
      {"event", event},
      {"pid", std::to_string(GetCurrentProcessId())},
      {"command_line", GetCommandLineA()},
      {"directory", CurrentDirectory()},
      {"show", std::to_string(startup.wShowWindow)},
      {"flags", flags},
  };
  fields.insert(fields.end(), extra.begin(), extra.end());
  const std::string line = FormatRecordLine(fields) + "\r\n";

  const std::string path = RecordFilePath();
  // Several programs may start at the same moment (the installer starts the
  // reporting program while a test may start others); appending in one write
  // keeps lines whole, and a short retry covers a writer that opened the file
  // without sharing.
  for (int attempt = 0; attempt < 100; ++attempt) {
    tn::ScopedHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      return WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written,
                       nullptr) &&
             written == line.size();
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return false;
    Sleep(20);
  }
  return false;
}

}  // namespace sample
