// Helpers shared by the Windows test programs.
#pragma once

#include <windows.h>

#include <string>

#include "util/scoped_handle.h"

namespace tn_test {

// A path inside the cross build tree (TN_BUILD_DIR), as Wine sees it.
std::string BuildPath(const std::string& relative);
// A path inside the source tree (TN_SOURCE_DIR), as Wine sees it.
std::string SourcePath(const std::string& relative);

// A fresh directory under the temp folder, removed with everything in it.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Writes |bytes| to |path|, creating or truncating it.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole content of |path|, or an empty string.
std::string ReadFileBytes(const std::string& path);

// Starts |command_line| and returns its process handle (invalid on failure).
tn::ScopedHandle StartProcess(const std::string& command_line, const std::string& directory = "");
// Copies the idle program (it sleeps until killed) to |directory|\|exe_name|
// and starts it there.
tn::ScopedHandle StartIdleProgramAs(const std::string& directory, const std::string& exe_name);

}  // namespace tn_test
