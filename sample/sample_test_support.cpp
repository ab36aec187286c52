#include "sample/sample_test_support.h"

namespace sample_test {

ScopedRecordFile::ScopedRecordFile() : path_(dir_.Join("record.log")) {
  SetEnvironmentVariableA("TN_SAMPLE_RECORD", path_.c_str());
}

ScopedRecordFile::~ScopedRecordFile() { SetEnvironmentVariableA("TN_SAMPLE_RECORD", nullptr); }

std::vector<sample::RecordFields> ScopedRecordFile::Read() const {
  std::vector<sample::RecordFields> records;
  const std::string text = tn_test::ReadFileBytes(path_);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    sample::RecordFields fields = sample::ParseRecordLine(text.substr(start, end - start));
    if (!fields.empty()) records.push_back(fields);
    start = end + 1;
  }
  return records;
}

sample::RecordFields ScopedRecordFile::WaitFor(const std::string& program, const std::string& event,
                                               DWORD timeout_ms) const {
  const DWORD begin = GetTickCount();
  for (;;) {
    for (const auto& record : Read()) {
      if (sample::FindField(record, "program") == program &&
          sample::FindField(record, "event") == event) {
        return record;
      }
    }
    if (GetTickCount() - begin > timeout_ms) return {};
    Sleep(50);
  }
}

std::string ProductFile(const std::string& file_name) {
  return tn_test::BuildPath("sample/product/" + file_name);
}

bool CopyProductFile(const std::string& file_name, const std::string& directory) {
  return CopyFileA(ProductFile(file_name).c_str(), (directory + "\\" + file_name).c_str(), FALSE) !=
         FALSE;
}

tn::ScopedHandle StartWithShow(const std::string& command_line, const std::string& directory,
                               bool use_show, WORD show) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  if (use_show) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
  }
  PROCESS_INFORMATION info = {};
  std::string line = command_line;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    return tn::ScopedHandle();
  }
  tn::ScopedHandle thread(info.hThread);
  return tn::ScopedHandle(info.hProcess);
}

DWORD WaitForExit(const tn::ScopedHandle& process, DWORD timeout_ms) {
  if (!process || WaitForSingleObject(process.Get(), timeout_ms) != WAIT_OBJECT_0) {
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

}  // namespace sample_test
