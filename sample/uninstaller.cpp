#include "sample/uninstaller.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sample/launch_record.h"
#include "sample/product_names.h"
#include "util/file_util.h"
#include "util/process_util.h"
#include "util/scoped_handle.h"
#include "util/text_encoding.h"
#include "util/windows_version.h"

namespace sample {
namespace {

constexpr DWORD kStopWaitMs = 2000;
constexpr DWORD kParentWaitMs = 30000;
constexpr char kCleanupCopyPrefix[] = "tn_uninstall_";

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(),
                        static_cast<int>(a.size()), b.c_str(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) || path[0] == '\0') {
    return std::string();
  }
  return StripTrailingSlashes(path);
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && value.front() == '"') {
    const size_t close = value.find('"', 1);
    if (close != std::string::npos) value = value.substr(1, close - 1);
  }
  return value;
}

std::string ReadStringValue(HKEY key, const char* name) {
  char data[2048] = {};
  DWORD type = 0;
  DWORD size = sizeof(data) - 1;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::string();
  }
  return std::string(data);  // The buffer has a NUL past every possible value.
}

// Deletes |link| when it points into |install_dir|; true when it was deleted.
bool DeleteOwnLink(const std::string& link, const std::string& install_dir) {
  if (GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  if (!IsPathInside(ReadLinkTarget(link), install_dir)) return false;
  SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(link.c_str()) != FALSE;
}

int RemoveStartMenuFolder(const std::string& programs, const std::string& install_dir) {
  if (programs.empty()) return 0;
  const std::string folder = programs + "\\" + kStartMenuFolderName;
  int removed = 0;
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((folder + "\\*.lnk").c_str(), &data));
  if (find) {
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (DeleteOwnLink(folder + "\\" + data.cFileName, install_dir)) ++removed;
    } while (FindNextFileA(find.Get(), &data));
  }
  // Fails, as intended, while the user or another installation keeps
  // something in the folder.
  RemoveDirectoryA(folder.c_str());
  return removed;
}

}  // namespace

std::string NormalizePath(const std::string& path) {
  if (path.empty()) return std::string();
  char full[MAX_PATH * 2] = {};
  DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
  if (length == 0 || length >= sizeof(full)) return std::string();
  char long_path[MAX_PATH * 2] = {};
  length = GetLongPathNameA(full, long_path, sizeof(long_path));
  if (length > 0 && length < sizeof(long_path)) return StripTrailingSlashes(long_path);
  return StripTrailingSlashes(full);
}

bool IsPathInside(const std::string& path, const std::string& directory) {
  const std::string inner = NormalizePath(path);
  const std::string outer = NormalizePath(directory);
  if (inner.empty() || outer.empty() || inner.size() <= outer.size()) return false;
  const size_t cut = outer.back() == '\\' ? outer.size() - 1 : outer.size();
  return inner[cut] == '\\' && SameText(inner.substr(0, cut), outer.substr(0, cut));
}

std::string ReadLinkTarget(const std::string& link_file) {
  tn::ScopedComInit com;
  tn::ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.ReceiveVoid()))) {
    return std::string();
  }
  tn::ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file, IID_IPersistFile)) ||
      FAILED(file->Load(AnsiPathToWide(link_file).c_str(), STGM_READ))) {
    return std::string();
  }
  char target[MAX_PATH * 2] = {};
  if (link->GetPath(target, sizeof(target), nullptr, 0) != S_OK) return std::string();
  return target;
}

void StopProductPrograms() {
  {
    tn::ScopedHandle stop(OpenEventA(EVENT_MODIFY_STATE, FALSE, kAutoRunStopEvent));
    if (stop) SetEvent(stop.Get());
  }
  for (DWORD waited = 0; waited < kStopWaitMs && IsProcessRunning(kAutoRunProgram); waited += 50) {
    Sleep(50);
  }
  const char* const kPrograms[] = {kMainProgram, kAutoRunProgram, kReportProgram};
  for (const char* name : kPrograms) {
    if (IsProcessRunning(name)) (void)TerminateProcessesByName(name);
  }
  // A terminated process lets go of its files only when it is gone.
  for (DWORD waited = 0; waited < kStopWaitMs; waited += 50) {
    bool any = false;
    for (const char* name : kPrograms) any = any || IsProcessRunning(name);
    if (!any) break;
    Sleep(50);
  }
}

int RemoveProductShortcuts(const std::string& install_dir) {
  int removed = 0;
  removed += RemoveStartMenuFolder(SpecialFolder(CSIDL_PROGRAMS), install_dir);
  removed += RemoveStartMenuFolder(SpecialFolder(CSIDL_COMMON_PROGRAMS), install_dir);

  const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  if (!desktop.empty()) {
    for (const char* suffix : {".lnk", ".exe.lnk"}) {
      if (DeleteOwnLink(desktop + "\\" + kProductName + suffix, install_dir)) ++removed;
    }
  }

  const std::string app_data = SpecialFolder(CSIDL_APPDATA);
  if (!app_data.empty()) {
    const std::string link =
        app_data + kQuickLaunchSubfolder + "\\" + std::string(kProductName) + ".lnk";
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES &&
        IsPathInside(ReadLinkTarget(link), install_dir)) {
      // The pin verb exists up to Windows 8.1; Windows 10 has no verb to
      // unpin with, and Wine ignores it.
      if (!IsNtVersion10()) {
        (void)ShellExecuteA(nullptr, "TaskbarUnpin", link.c_str(), nullptr, nullptr, SW_SHOW);
      }
      if (DeleteFileA(link.c_str())) ++removed;
    }
  }

  const std::string startup = SpecialFolder(CSIDL_STARTUP);
  if (!startup.empty() && DeleteOwnLink(startup + "\\" + kAutoRunLinkName + ".lnk", install_dir)) {
    ++removed;
  }
  return removed;
}

int RemoveUninstallEntries(const std::string& install_dir) {
  int removed = 0;
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    tn::ScopedRegKey branch;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallBranch, 0,
                      KEY_READ | KEY_SET_VALUE | DELETE | view,
                      branch.Receive()) != ERROR_SUCCESS) {
      continue;
    }
    bool ours = false;
    {
      tn::ScopedRegKey entry;
      if (RegOpenKeyExA(branch.Get(), kUninstallKeyName, 0, KEY_READ, entry.Receive()) !=
          ERROR_SUCCESS) {
        continue;
      }
      // The values hold the unquoted program path; a quoted one is accepted too.
      for (const char* name : {"UninstallString", "DisplayIcon"}) {
        const std::string program = Unquote(ReadStringValue(entry.Get(), name));
        ours = ours || IsPathInside(program, install_dir);
      }
    }
    // In a 32-bit Windows both views name the same key: the second pass finds
    // it gone.
    if (ours && RegDeleteTreeA(branch.Get(), kUninstallKeyName) == ERROR_SUCCESS) ++removed;
  }
  return removed;
}

bool StartDeferredCleanup(const std::string& install_dir) {
  char self[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
  char temp[MAX_PATH] = {};
  const DWORD temp_length = GetTempPathA(sizeof(temp), temp);
  if (length == 0 || length >= sizeof(self) || temp_length == 0 || temp_length >= sizeof(temp)) {
    return false;
  }
  const std::string copy =
      std::string(temp) + kCleanupCopyPrefix + std::to_string(GetCurrentProcessId()) + ".exe";
  if (!CopyFileA(self, copy.c_str(), FALSE)) return false;

  HANDLE raw_parent = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &raw_parent,
                       SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
    DeleteFileA(copy.c_str());
    return false;
  }
  tn::ScopedHandle parent(raw_parent);
  std::string command_line = "\"" + copy + "\" /cleanup " +
                             std::to_string(reinterpret_cast<uintptr_t>(parent.Get())) + " \"" +
                             StripTrailingSlashes(install_dir) + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  // The copy runs from the temp folder so that nothing of it holds the
  // install directory open.
  if (!CreateProcessA(copy.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, temp,
                      &startup, &info)) {
    DeleteFileA(copy.c_str());
    return false;
  }
  tn::ScopedHandle process(info.hProcess);
  tn::ScopedHandle thread(info.hThread);
  return true;
}

int RunDeferredCleanup(tn::ScopedHandle parent, const std::string& install_dir) {
  const std::string directory = NormalizePath(install_dir);
  std::string parent_image;
  {
    char image[MAX_PATH * 2] = {};
    DWORD size = sizeof(image);
    if (QueryFullProcessImageNameA(parent.Get(), 0, image, &size)) parent_image.assign(image, size);
  }
  // Only the directory of the uninstaller that started this copy is removed,
  // and only where the general deletion rules allow it.
  const bool allowed = !directory.empty() && IsRemovableTreePath(directory) &&
                       !parent_image.empty() &&
                       SameText(NormalizePath(DirectoryOf(parent_image)), directory);
  int result = kUninstallDone;
  if (!allowed) {
    result = kUninstallUnsafeDirectory;
  } else if (WaitForSingleObject(parent.Get(), kParentWaitMs) == WAIT_OBJECT_0) {
    parent.Reset();
    // The system may hold the parent's image a moment after the process ends.
    for (int attempt = 0; attempt < 25; ++attempt) {
      (void)RemoveDirectoryTree(directory);
      if (GetFileAttributesA(directory.c_str()) == INVALID_FILE_ATTRIBUTES) break;
      Sleep(200);
    }
    if (GetFileAttributesA(directory.c_str()) != INVALID_FILE_ATTRIBUTES) {
      result = kUninstallCleanupFailed;
    }
  } else {
    result = kUninstallCleanupFailed;
  }
  AppendLaunchRecord("cleanup", {{"directory_removed", result == kUninstallDone ? "1" : "0"},
                                 {"result", std::to_string(result)}});

  // Only the temp copy made by StartDeferredCleanup removes itself. A running
  // program cannot delete its own file on Windows, so it goes at the next
  // restart.
  char self[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
  const char* name = length > 0 && length < sizeof(self) ? std::strrchr(self, '\\') : nullptr;
  if (name && std::strncmp(name + 1, kCleanupCopyPrefix, sizeof(kCleanupCopyPrefix) - 1) == 0 &&
      !DeleteFileA(self)) {
    (void)MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return result;
}

}  // namespace sample
