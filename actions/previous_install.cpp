#include "actions/previous_install.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <tinyxml2.h>

#include <cstring>
#include <vector>

#include "actions/shortcuts.h"
#include "config/ini_info_manager.h"
#include "util/file_util.h"
#include "util/process_util.h"
#include "util/scoped_handle.h"
#include "util/string_util.h"

namespace {

constexpr DWORD kAfterTerminateMs = 300;
constexpr DWORD kAfterDirectoryRemovalMs = 100;
constexpr DWORD kAfterRemovalMs = 200;

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "X:\" followed by at least one character that is not another backslash.
bool HasDriveLetterForm(const std::string& path) {
  return path.size() >= 4 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\' &&
         path[3] != '\\';
}

std::string WithoutTrailingBackslashes(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// Answers for the delete list's paths, with everything that does not change
// from entry to entry (the protected folders, the Windows folder, drive
// types) resolved once per list.
class ListedPathGuard {
 public:
  ListedPathGuard() {
    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) windows_ = LongForm(windows);
  }

  // A path the list may name: local and absolute, none of the system's
  // protected folders, not the Windows folder or anything inside it.
  bool IsSafe(const std::string& path) const {
    return IsLocal(path) && protected_.AllowsTreeRemoval(path) && !IsAtOrBelowWindowsFolder(path);
  }

  // True when |path| is the Windows folder or lies anywhere below it,
  // however it is spelt ("..", short names, letter case). Nothing of the
  // product lives there, and a folder like Fonts is not one of the protected
  // roots. When the answer cannot be found the path counts as inside.
  bool IsAtOrBelowWindowsFolder(const std::string& path) const {
    if (windows_.empty()) return true;
    const std::string candidate = LongForm(path);
    return candidate.empty() || IsAtOrBelow(candidate, windows_);
  }

  // True when |path| is |folder| (a LongForm) or lies below it.
  static bool IsAtOrBelowFolder(const std::string& path, const std::string& folder) {
    const std::string candidate = LongForm(path);
    return !candidate.empty() && !folder.empty() && IsAtOrBelow(candidate, folder);
  }

  // The full path with short names made long; only a name with a "~" can be
  // short, so only such a path asks the file system.
  static std::string LongForm(const std::string& path) {
    char full[MAX_PATH * 2] = {};
    const DWORD full_length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    if (full_length == 0 || full_length >= sizeof(full)) return std::string();
    if (std::strchr(full, '~')) {
      char long_form[MAX_PATH * 2] = {};
      const DWORD long_length = GetLongPathNameA(full, long_form, sizeof(long_form));
      if (long_length > 0 && long_length < sizeof(long_form)) {
        return WithoutTrailingBackslashes(long_form);
      }
    }
    return WithoutTrailingBackslashes(full);
  }

 private:
  bool IsLocal(const std::string& path) const {
    if (!HasDriveLetterForm(path)) return false;
    const int drive = (path[0] | 0x20) - 'a';
    if (drive_types_[drive] == 0) {
      const char root[] = {path[0], ':', '\\', '\0'};
      drive_types_[drive] = GetDriveTypeA(root) + 1;
    }
    return drive_types_[drive] != DRIVE_REMOTE + 1;
  }

  static bool IsAtOrBelow(const std::string& candidate, const std::string& folder) {
    if (candidate.size() < folder.size()) return false;
    if (candidate.size() > folder.size() && candidate[folder.size()] != '\\') return false;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, candidate.c_str(),
                          static_cast<int>(folder.size()), folder.c_str(),
                          static_cast<int>(folder.size())) == CSTR_EQUAL;
  }

  ProtectedFolders protected_;
  std::string windows_;
  mutable unsigned drive_types_[26] = {};
};

// The text of every element from |first| on among its siblings, whatever
// their names. Elements without text are skipped.
template <typename Visit>
void ForEachEntry(const tinyxml2::XMLElement* first, Visit visit) {
  for (const tinyxml2::XMLElement* entry = first; entry; entry = entry->NextSiblingElement()) {
    const char* text = entry->GetText();
    if (text && *text) visit(std::string(text));
  }
}

// The first file the user's programs hold open below |directory| (links
// are not entered): a file that is open without sharing its deletion keeps
// the directory from being moved aside on Windows. Empty when there is none.
std::string FindFileHeldOpen(const std::string& directory, const KeepAlive& keep_alive) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((directory + "\\*").c_str(), &data));
  if (!find) return std::string();
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const std::string child = directory + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (IsReparsePoint(child)) continue;
      std::string held = FindFileHeldOpen(child, keep_alive);
      if (!held.empty()) return held;
      continue;
    }
    if (keep_alive) keep_alive();
    tn::ScopedHandle file(
        CreateFileA(child.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return child;
    }
  } while (FindNextFileA(find.Get(), &data));
  return std::string();
}

}  // namespace

bool IsLocalAbsolutePath(const std::string& path) {
  if (!HasDriveLetterForm(path)) return false;
  const char root[] = {path[0], ':', '\\', '\0'};
  return GetDriveTypeA(root) != DRIVE_REMOTE;
}

bool IsRemovablePreviousInstallDir(const std::string& directory) {
  return IsLocalAbsolutePath(directory) && IsRemovableTreePath(directory) &&
         !ListedPathGuard().IsAtOrBelowWindowsFolder(directory);
}

void TerminateConfiguredProcesses(const KeepAlive& keep_alive) {
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
  PauseKeepingAlive(kAfterTerminateMs, keep_alive);
}

void RemoveStartMenuFolders(CInstallJournal* journal) {
  for (int folder : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
    char programs[255] = {};
    if (!SHGetSpecialFolderPathA(nullptr, programs, folder, FALSE) || programs[0] == '\0') {
      continue;  // never "\ZEVodirodaz" on the current drive
    }
    const std::string product_folder = std::string(programs) + "\\" + kStartMenuFolderName;
    if (IsRemovableTreePath(product_folder)) static_cast<void>(journal->MoveAside(product_folder));
  }
}

void DeleteListedFiles(const std::string& old_install_dir, CInstallJournal* journal,
                       const KeepAlive& keep_alive) {
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
  const ListedPathGuard guard;
  // What lies in the earlier directory goes aside with it, in one move
  // (RemovePreviousInstallDirectory); only what is elsewhere is moved here.
  const std::string moved_whole = IsRemovablePreviousInstallDir(old_install_dir)
                                      ? ListedPathGuard::LongForm(old_install_dir)
                                      : std::string();
  // The entries of |container|'s list from its first |entry| element on
  // that are to be moved here.
  const auto entries = [&](const char* container, const char* entry, const char* refusal) {
    std::vector<std::string> paths;
    const tinyxml2::XMLElement* list = root->FirstChildElement(container);
    if (!list) return paths;
    ForEachEntry(list->FirstChildElement(entry), [&](const std::string& path) {
      if (keep_alive) keep_alive();
      if (!moved_whole.empty() && ListedPathGuard::IsAtOrBelowFolder(path, moved_whole)) return;
      if (guard.IsSafe(path)) {
        paths.push_back(path);
      } else {
        OutputDebugStringA(refusal);
      }
    });
    return paths;
  };
  const std::vector<std::string> files =
      entries("DeleteFiles", "DeleteFile", "删除列表中的文件路径不安全，跳过");
  const std::vector<std::string> folders =
      entries("DeleteFolders", "DeleteFolder", "删除列表中的目录路径不安全，跳过");
  // A file entry naming a directory is passed over, as is a folder entry
  // naming a file. A link is moved as the link, never followed.
  // A folder that holds nothing but listed files may go aside whole, when a
  // tree removal would be allowed there.
  journal->MoveAsideEach(
      files, [](DWORD attributes) { return !(attributes & FILE_ATTRIBUTE_DIRECTORY); }, keep_alive,
      [&guard](const std::string& folder) { return guard.IsSafe(folder); });
  journal->MoveAsideEach(
      folders, [](DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; },
      keep_alive);
}

bool RemovePreviousInstallDirectory(const std::string& old_install_dir, CInstallJournal* journal,
                                    const KeepAlive& keep_alive) {
  if (old_install_dir.empty()) return true;
  if (!IsRemovablePreviousInstallDir(old_install_dir)) return true;
  if (journal->MoveAside(old_install_dir) == CInstallJournal::MoveResult::kFailed) return false;
  PauseKeepingAlive(kAfterDirectoryRemovalMs, keep_alive);
  return true;
}

bool RemovePreviousInstallation(const InstallState& state, CInstallJournal* journal,
                                const KeepAlive& keep_alive) {
  const std::string& old_dir = state.m_strOldInstallDir;
  if (old_dir.empty()) return true;
  OutputDebugStringA("开始删除之前安装的Tarnis模拟器文件!\n");
  // On Windows a directory holding a file that another program keeps open
  // cannot be renamed: find that out before anything is touched.
  if (IsRemovablePreviousInstallDir(old_dir)) {
    const std::string held = FindFileHeldOpen(old_dir, keep_alive);
    if (!held.empty()) {
      OutputDebugStringA(("之前安装的文件被其他程序占用，安装中止: " + held + "\n").c_str());
      return false;
    }
  }
  RemoveDesktopShortcut(state.m_strDisplayName, journal);
  RemoveStartMenuFolders(journal);
  UnpinFromTaskbar(old_dir + "\\" + state.m_strDisplayIcon, state.m_strDisplayName, journal);
  DeleteListedFiles(old_dir, journal, keep_alive);
  RemoveAutoStartShortcut(journal);
  if (!RemovePreviousInstallDirectory(old_dir, journal, keep_alive)) {
    OutputDebugStringA("之前的安装目录无法移开，安装中止\n");
    return false;
  }
  PauseKeepingAlive(kAfterRemovalMs, keep_alive);
  return true;
}
