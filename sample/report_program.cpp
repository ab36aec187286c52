// The product's reporting program. The installer leaves the facts of the
// installation in %APPDATA%\ZEVodirodaz\submitconfig.ini ([CONFIG] installPath
// and Version) and starts this program with the argument "<Version>_0". This
// stand-in sends nothing: it records what it was handed and whether the
// argument, the file and its own place agree. Exit code 0 when they agree,
// 1 when they do not, 2 when the file could not be read.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "sample/launch_record.h"
#include "sample/product_names.h"

namespace {

std::string ReadConfigValue(const std::string& file, const char* key, bool* found) {
  char value[1024] = {};
  // A marker default tells a missing key from an empty value.
  const char kMissing[] = "\x01";
  GetPrivateProfileStringA("CONFIG", key, kMissing, value, sizeof(value), file.c_str());
  if (std::string(value) == kMissing) {
    *found = false;
    return std::string();
  }
  return value;
}

std::string OwnDirectory() {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string directory(path, length < sizeof(path) ? length : 0);
  const size_t slash = directory.find_last_of('\\');
  return slash == std::string::npos ? directory : directory.substr(0, slash);
}

bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string argument = __argc > 1 ? __argv[1] : "";
  char app_data[MAX_PATH] = {};
  std::string report_file;
  if (SHGetSpecialFolderPathA(nullptr, app_data, CSIDL_APPDATA, FALSE)) {
    report_file = std::string(app_data) + "\\" + sample::kUserDataFolderName + "\\submitconfig.ini";
  }
  bool found =
      !report_file.empty() && GetFileAttributesA(report_file.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string install_path = found ? ReadConfigValue(report_file, "installPath", &found) : "";
  const std::string version = found ? ReadConfigValue(report_file, "Version", &found) : "";
  const bool matches =
      found && argument == version + "_0" && SamePath(install_path, OwnDirectory());

  sample::AppendLaunchRecord("start",
                             {
                                 {"argument_count", std::to_string(__argc > 0 ? __argc - 1 : 0)},
                                 {"argument", argument},
                                 {"report_file", report_file},
                                 {"report_found", found ? "1" : "0"},
                                 {"install_path", install_path},
                                 {"version", version},
                                 {"matches", matches ? "1" : "0"},
                             });
  if (!found) return 2;
  return matches ? 0 : 1;
}
