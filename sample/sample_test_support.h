// Helpers for the sample product's tests: redirecting the launch record,
// starting the product's programs and reading back what they recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sample/launch_record.h"
#include "tests/support/test_support.h"
#include "util/scoped_handle.h"

namespace sample_test {

// Points TN_SAMPLE_RECORD at a file in a private temp directory for the
// lifetime of the object; child processes inherit it.
class ScopedRecordFile {
 public:
  ScopedRecordFile();
  ~ScopedRecordFile();
  ScopedRecordFile(const ScopedRecordFile&) = delete;
  ScopedRecordFile& operator=(const ScopedRecordFile&) = delete;

  const std::string& path() const { return path_; }
  std::vector<sample::RecordFields> Read() const;
  // The first record of |program| with |event|, waiting up to |timeout_ms|;
  // empty when none came.
  sample::RecordFields WaitFor(const std::string& program, const std::string& event,
                               DWORD timeout_ms = 10000) const;

 private:
  tn_test::ScopedTempDir dir_;
  std::string path_;
};

// The built product program |file_name|.
std::string ProductFile(const std::string& file_name);
// Copies the product program |file_name| into |directory|.
bool CopyProductFile(const std::string& file_name, const std::string& directory);

// Starts |command_line| in |directory|; with |use_show| the show command is
// passed through STARTF_USESHOWWINDOW.
tn::ScopedHandle StartWithShow(const std::string& command_line, const std::string& directory,
                               bool use_show, WORD show);

// Exit code after waiting up to |timeout_ms|; STILL_ACTIVE if it did not end.
DWORD WaitForExit(const tn::ScopedHandle& process, DWORD timeout_ms);

}  // namespace sample_test
