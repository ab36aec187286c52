#include "actions/install_report.h"

#include <windows.h>
#include <shlobj.h>

#include "config/ini_info_manager.h"
#include "util/process_util.h"

namespace {

std::string UserDataFolder() {
  char app_data[255] = {};
  if (!SHGetSpecialFolderPathA(nullptr, app_data, CSIDL_APPDATA, FALSE) || !app_data[0]) {
    return std::string();
  }
  return std::string(app_data) + "\\" + kUserDataFolderName;
}

}  // namespace

std::string EnsureUserDataFolder() {
  const std::string folder = UserDataFolder();
  if (folder.empty()) return folder;
  if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // A failure shows later as a missing report file; nothing to tell the user.
    static_cast<void>(CreateDirectoryA(folder.c_str(), nullptr));
  }
  return folder;
}

void HandOffInstallReport(const std::string& install_dir) {
  CIniInfoData version;
  CIniInfoManager::GetInstance()->GetDataByKey("DisplayVersion", &version);
  const std::string folder = UserDataFolder();
  if (!folder.empty()) {
    const std::string file = folder + "\\" + kReportFileName;
    WritePrivateProfileStringA("CONFIG", "installPath", install_dir.c_str(), file.c_str());
    WritePrivateProfileStringA("CONFIG", "Version", version.m_strValue.c_str(), file.c_str());
  }
  const std::string program = install_dir + "\\" + kReportProgramName;
  const std::string argument = version.m_strValue + "_0";
  // Started and forgotten; a missing program fails silently.
  static_cast<void>(OpenProgramSilently(program, argument, install_dir, SW_HIDE));
}
