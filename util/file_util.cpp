#include "util/file_util.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "util/scoped_handle.h"

namespace {

EntryAttributesHook g_entry_attributes_hook = nullptr;

DWORD EntryAttributes(const std::string& path, DWORD reported) {
  return g_entry_attributes_hook ? g_entry_attributes_hook(path, reported) : reported;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof(buffer), buffer, nullptr);
  if (length == 0 || length >= sizeof(buffer)) return std::string();
  return WithoutTrailingSlashes(buffer);
}

bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) {
    const char drive = path[0];
    return (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
  }
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
}

bool SamePath(const std::string& a, const std::string& b) {
  return !a.empty() && !b.empty() &&
         CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
             CSTR_EQUAL;
}

// The system's well-known folders, as full paths without trailing slashes.
std::vector<std::string> ResolveWellKnownFolders() {
  std::vector<std::string> folders;
  static const int kFolders[] = {
      CSIDL_WINDOWS,
      CSIDL_SYSTEM,
      CSIDL_SYSTEMX86,
      CSIDL_PROGRAM_FILES,
      CSIDL_PROGRAM_FILESX86,
      CSIDL_PROGRAM_FILES_COMMON,
      CSIDL_PROGRAM_FILES_COMMONX86,
      CSIDL_PROFILE,
      CSIDL_DESKTOPDIRECTORY,
      CSIDL_COMMON_DESKTOPDIRECTORY,
      CSIDL_STARTMENU,
      CSIDL_COMMON_STARTMENU,
      CSIDL_PROGRAMS,
      CSIDL_COMMON_PROGRAMS,
      CSIDL_STARTUP,
      CSIDL_COMMON_STARTUP,
      CSIDL_APPDATA,
      CSIDL_LOCAL_APPDATA,
      CSIDL_COMMON_APPDATA,
      CSIDL_PERSONAL,
  };
  for (int folder : kFolders) {
    char path[MAX_PATH] = {};
    if (SHGetSpecialFolderPathA(nullptr, path, folder, FALSE)) {
      const std::string bare = WithoutTrailingSlashes(path);
      if (!bare.empty()) folders.push_back(bare);
    }
  }
  // A 32-bit process under WOW64 is told the x86 folders above; the native
  // ones come from the environment.
  static const char* const kVariables[] = {
      "%ProgramW6432%",         "%CommonProgramW6432%",
      "%ProgramFiles%",         "%ProgramFiles(x86)%",
      "%SystemRoot%\\SysWOW64", "%SystemRoot%\\Sysnative",
      "%SystemRoot%\\System32", "%PUBLIC%",
      "%ProgramData%",          "%USERPROFILE%",
  };
  for (const char* variable : kVariables) {
    char path[MAX_PATH * 2] = {};
    const DWORD length = ExpandEnvironmentStringsA(variable, path, sizeof(path));
    if (length == 0 || length > sizeof(path) || std::strchr(path, '%')) continue;
    const std::string full = FullPath(path);
    if (!full.empty()) folders.push_back(full);
  }
  // The parent of all profiles ("C:\Users") is a root of its own.
  char profile[MAX_PATH] = {};
  if (SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE)) {
    std::string users = WithoutTrailingSlashes(profile);
    const auto slash = users.find_last_of('\\');
    if (slash != std::string::npos) folders.push_back(users.substr(0, slash));
  }
  return folders;
}

void RemoveTreeContents(const std::string& directory_with_slash) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((directory_with_slash + "*.*").c_str(), &data));
  if (!find) return;
  do {
    const std::string name = data.cFileName;
    const std::string child = directory_with_slash + name;
    const DWORD attributes = EntryAttributes(child, data.dwFileAttributes);
    const bool is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (lstrcmpiA(name.c_str(), ".") == 0 || lstrcmpiA(name.c_str(), "..") == 0) continue;
      if (is_link) {
        // A junction or directory link: remove the link, never its target.
        // Attributes are not touched: setting them may act on the target.
        RemoveDirectoryA(child.c_str());
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTreeContents(child + "\\");
        RemoveDirectoryA(child.c_str());
      }
    } else {
      if (!is_link) SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  } while (FindNextFileA(find.Get(), &data));
}

}  // namespace

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  // Opened as an input stream would open it: read access, others may read
  // and write meanwhile.
  tn::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsValid();
}

bool IsExistingDirectory(const std::string& path) {
  if (path.empty()) return false;
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA(WithoutTrailingSlashes(path).c_str(), &data));
  return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SetEntryAttributesHookForTesting(EntryAttributesHook hook) { g_entry_attributes_hook = hook; }

bool IsReparsePoint(const std::string& path) {
  const std::string bare = WithoutTrailingSlashes(path);
  if (bare.empty()) return false;
  DWORD attributes = GetFileAttributesA(bare.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // Wine reports a link's own attributes only through the directory listing.
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle find(FindFirstFileA(bare.c_str(), &data));
    if (find) attributes = data.dwFileAttributes;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (EntryAttributes(bare, attributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

ProtectedFolders::ProtectedFolders() : folders_(ResolveWellKnownFolders()) {}

bool ProtectedFolders::AllowsTreeRemoval(const std::string& path) const {
  if (path.empty() || !IsAbsolute(path)) return false;
  const std::string full = FullPath(path);
  if (full.empty()) return false;
  // "C:" after the trailing backslash is stripped; "\\server\share" is a root too.
  if (full.size() <= 2) return false;
  if (full[0] == '\\' && full[1] == '\\' &&
      full.find('\\', full.find('\\', 2) + 1) == std::string::npos) {
    return false;
  }
  for (const std::string& folder : folders_) {
    // Spellings that differ only in case have the same length.
    if (full.size() == folder.size() && SamePath(full, folder)) return false;
  }
  return true;
}

bool IsRemovableTreePath(const std::string& path) {
  return ProtectedFolders().AllowsTreeRemoval(path);
}

bool RemoveDirectoryTree(const std::string& path) {
  if (!IsRemovableTreePath(path)) return false;
  std::string directory = path;
  if (directory.back() != '\\') directory += '\\';

  if (IsReparsePoint(path)) {
    return RemoveDirectoryA(WithoutTrailingSlashes(path).c_str()) != FALSE;
  }

  {
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle probe(FindFirstFileA((directory + "*.*").c_str(), &data));
    if (!probe) return false;
  }
  RemoveTreeContents(directory);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
  return true;
}

bool RemoveDirectoryContents(const std::string& path) {
  if (!IsRemovableTreePath(path)) return false;
  std::string directory = path;
  if (directory.back() != '\\') directory += '\\';
  {
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle probe(FindFirstFileA((directory + "*.*").c_str(), &data));
    if (!probe) return false;
  }
  RemoveTreeContents(directory);
  return true;
}
