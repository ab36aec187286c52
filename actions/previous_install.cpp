#include "actions/previous_install.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <tinyxml2.h>

#include "actions/shortcuts.h"
#include "config/ini_info_manager.h"
#include "util/file_util.h"
#include "util/process_util.h"
#include "util/string_util.h"

namespace {

constexpr DWORD kAfterTerminateMs = 300;
constexpr DWORD kAfterDirectoryRemovalMs = 100;
constexpr DWORD kAfterRemovalMs = 200;

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The text of every element from |first| on among its siblings, whatever
// their names. Elements without text are skipped.
template <typename Visit>
void ForEachEntry(const tinyxml2::XMLElement* first, Visit visit) {
  for (const tinyxml2::XMLElement* entry = first; entry; entry = entry->NextSiblingElement()) {
    const char* text = entry->GetText();
    if (text && *text) visit(std::string(text));
  }
}

void DeleteListedFile(const std::string& path) {
  if (!IsLocalAbsolutePath(path) || !IsRemovableTreePath(path)) {
    OutputDebugStringA("删除列表中的文件路径不安全，跳过");
    return;
  }
  // DeleteFile removes a link itself, not its target; a directory fails.
  static_cast<void>(DeleteFileA(path.c_str()));
}

void DeleteListedFolder(const std::string& path) {
  // RemoveDirectoryTree refuses roots and the system's folders itself and
  // never enters a link; a network path is refused here.
  if (!IsLocalAbsolutePath(path)) {
    OutputDebugStringA("删除列表中的目录路径不安全，跳过");
    return;
  }
  static_cast<void>(RemoveDirectoryTree(path));
}

}  // namespace

bool IsLocalAbsolutePath(const std::string& path) {
  if (path.size() < 4 || !IsDriveLetter(path[0]) || path[1] != ':' || path[2] != '\\') {
    return false;
  }
  if (path[3] == '\\') return false;
  const char root[] = {path[0], ':', '\\', '\0'};
  return GetDriveTypeA(root) != DRIVE_REMOTE;
}

bool IsRemovablePreviousInstallDir(const std::string& directory) {
  return IsLocalAbsolutePath(directory) && IsRemovableTreePath(directory);
}

void TerminateConfiguredProcesses() {
  CIniInfoList records;
  CIniInfoManager::GetInstance()->GetSectionData("KILL_PROGRESS", &records);
  std::string names;
  for (const CIniInfoData* record : records) {
    if (record->m_strKey == "Progress") {
      names = record->m_strValue;
      break;
    }
  }
  for (const std::string& name : SplitString(names, ";")) {
    // The result is of no consequence: a program that survives may make
    // one of its files fail to be replaced, which the extraction reports.
    if (IsProcessRunning(name)) static_cast<void>(TerminateProcessesByName(name));
  }
  Sleep(kAfterTerminateMs);
}

void RemoveStartMenuFolders() {
  for (int folder : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
    char programs[255] = {};
    if (!SHGetSpecialFolderPathA(nullptr, programs, folder, FALSE) || programs[0] == '\0') {
      continue;  // never "\ZEVodirodaz" on the current drive
    }
    static_cast<void>(RemoveDirectoryTree(std::string(programs) + "\\" + kStartMenuFolderName));
  }
}

void DeleteListedFiles(const std::string& old_install_dir) {
  if (old_install_dir.empty() || old_install_dir.size() >= MAX_PATH) return;
  char list_path[MAX_PATH] = {};
  lstrcpynA(list_path, old_install_dir.c_str(), sizeof(list_path));
  PathRemoveFileSpecA(list_path);
  const std::string file = std::string(list_path) + "\\" + kDeleteListFileName;
  if (file.size() >= MAX_PATH) return;

  tinyxml2::XMLDocument document;
  if (document.LoadFile(file.c_str()) != tinyxml2::XML_SUCCESS) return;
  const tinyxml2::XMLElement* root = document.FirstChildElement();
  if (!root) return;
  if (const tinyxml2::XMLElement* files = root->FirstChildElement("DeleteFiles")) {
    ForEachEntry(files->FirstChildElement("DeleteFile"), DeleteListedFile);
  }
  if (const tinyxml2::XMLElement* folders = root->FirstChildElement("DeleteFolders")) {
    ForEachEntry(folders->FirstChildElement("DeleteFolder"), DeleteListedFolder);
  }
}

void RemovePreviousInstallDirectory(const std::string& old_install_dir) {
  if (old_install_dir.empty()) return;
  if (!IsRemovablePreviousInstallDir(old_install_dir)) return;
  static_cast<void>(RemoveDirectoryTree(old_install_dir));
  Sleep(kAfterDirectoryRemovalMs);
  if (IsExistingDirectory(old_install_dir) && !IsReparsePoint(old_install_dir)) {
    static_cast<void>(RemoveDirectoryA(old_install_dir.c_str()));
  }
}

void RemovePreviousInstallation(const InstallState& state) {
  const std::string& old_dir = state.m_strOldInstallDir;
  if (old_dir.empty()) return;
  OutputDebugStringA("开始删除之前安装的Tarnis模拟器文件!\n");
  RemoveDesktopShortcut(state.m_strDisplayName);
  RemoveStartMenuFolders();
  UnpinFromTaskbar(old_dir + "\\" + state.m_strDisplayIcon, state.m_strDisplayName);
  DeleteListedFiles(old_dir);
  RemoveAutoStartShortcut();
  RemovePreviousInstallDirectory(old_dir);
  Sleep(kAfterRemovalMs);
}
