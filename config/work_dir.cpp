#include "config/work_dir.h"

#include <sddl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "config/ini_file.h"
#include "util/file_util.h"

namespace {

// Full control for SYSTEM and Administrators, inherited by files and folders,
// nothing inherited from the drive root (where any user may create folders).
constexpr char kWorkDirSecurity[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

struct LocalMemoryFree {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalMemoryFree>;

bool IsDriveRoot(const char* path) {
  const char drive = path[0];
  return ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) && path[1] == ':' &&
         path[2] == '\\';
}

// How often a work directory that reappears as soon as it was removed is
// removed again before the installer gives up on it.
constexpr int kFreshDirectoryAttempts = 5;
constexpr DWORD kFreshDirectoryRetryMs = 50;

bool NameExists(const std::string& path) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA(path.c_str(), &data));
  return find.IsValid();
}

// Removes whatever stands at the work directory's name: a link as the link
// itself, a directory with its tree, a file.
void RemoveStandingEntry(const std::string& path) {
  if (IsReparsePoint(path)) {
    if (!RemoveDirectoryA(path.c_str())) (void)DeleteFileA(path.c_str());
  } else if (IsExistingDirectory(path)) {
    (void)RemoveDirectoryTree(path);
  } else {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    (void)DeleteFileA(path.c_str());
  }
}

bool CreateProtectedDirectory(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = BuildWorkDirSecurityDescriptor();
  if (!descriptor) {
    OutputDebugStringA("工作目录的访问权限无法生成，不创建工作目录");
    return false;
  }
  LocalMemory owner(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  // Fails when anything appeared under the name meanwhile: the directory is
  // ours only if this call made it.
  return CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

// Holds the directory open without delete sharing, so that it cannot be
// renamed or replaced by a link while files are written into it (the share
// mode binds others only because the handle has data access). Invalid when
// the path is not a plain directory.
tn::ScopedHandle PinDirectory(const std::string& path) {
  tn::ScopedHandle directory(CreateFileA(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!directory) return directory;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(directory.Get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return tn::ScopedHandle();
  }
  return directory;
}

// Removes whatever has the name, a link as the link itself.
void RemoveExisting(const std::string& path) {
  WIN32_FIND_DATAA data;
  {
    tn::ScopedFindHandle find(FindFirstFileA(path.c_str(), &data));
    if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
      !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  DeleteFileA(path.c_str());
}

}  // namespace

PSECURITY_DESCRIPTOR BuildWorkDirSecurityDescriptor() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kWorkDirSecurity, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return nullptr;
  }
  return descriptor;
}

bool CreateFreshWorkDir(const std::string& directory) {
  for (int attempt = 0; attempt < kFreshDirectoryAttempts; ++attempt) {
    if (attempt > 0) Sleep(kFreshDirectoryRetryMs);
    if (NameExists(directory)) RemoveStandingEntry(directory);
    if (CreateProtectedDirectory(directory)) return true;
  }
  OutputDebugStringA("无法创建新的工作目录");
  return false;
}

std::string GetWorkDirPath() {
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length >= 3 && length < MAX_PATH && IsDriveRoot(temp)) {
    return std::string(temp, 3) + kWorkDirName;
  }
  char windows[MAX_PATH + 1] = {};
  const UINT windows_length = GetWindowsDirectoryA(windows, MAX_PATH);
  if (windows_length >= 3 && windows_length < MAX_PATH && IsDriveRoot(windows)) {
    return std::string(windows, 3) + kWorkDirName;
  }
  return std::string("C:\\") + kWorkDirName;
}

bool LoadResourceBytes(HMODULE module, int id, const char* type, const void** data, DWORD* size) {
  if (!type || !data || !size) return false;
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!resource) return false;
  const DWORD resource_size = SizeofResource(module, resource);
  if (resource_size == 0) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) return false;
  const void* bytes = LockResource(loaded);
  if (!bytes) return false;
  *data = bytes;
  *size = resource_size;
  return true;
}

bool WriteResourceToFile(const std::string& directory, const std::string& file_name,
                         int resource_id, const char* resource_type) {
  const void* data = nullptr;
  DWORD size = 0;
  if (!LoadResourceBytes(nullptr, resource_id, resource_type, &data, &size)) return false;
  const std::string path = directory + "\\" + file_name;
  // A fresh file of our own: whatever stood under the name (a link to a
  // system file, say) is removed first, and the create fails rather than
  // open something that appeared in between.
  RemoveExisting(path);
  bool written = false;
  {
    tn::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD count = 0;
    written = WriteFile(file.Get(), data, size, &count, nullptr) && count == size;
  }
  if (!written) DeleteFileA(path.c_str());
  return written;
}

void DeleteWorkDirFile(const std::string& directory, const std::string& file_name) {
  if (directory.empty() || IsReparsePoint(directory)) return;
  // Deleting a link removes the link itself; a failure is of no consequence.
  (void)DeleteFileA((directory + "\\" + file_name).c_str());
}

tn::ScopedHandle OpenVerifiedWorkFile(const std::string& path, const void* expected,
                                      size_t expected_size) {
  if (path.empty() || (!expected && expected_size != 0)) return tn::ScopedHandle();
  // Read sharing only: while the handle is open nobody can write, delete or
  // rename the file, and a writer that already has it open makes this fail.
  tn::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return file;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.Get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return tn::ScopedHandle();
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size != expected_size) return tn::ScopedHandle();

  const auto* want = static_cast<const unsigned char*>(expected);
  std::vector<unsigned char> chunk(64 * 1024);
  size_t offset = 0;
  while (offset < expected_size) {
    DWORD count = 0;
    if (!ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &count, nullptr) ||
        count == 0 || count > expected_size - offset ||
        std::memcmp(chunk.data(), want + offset, count) != 0) {
      return tn::ScopedHandle();
    }
    offset += count;
  }
  if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return tn::ScopedHandle();
  }
  return file;
}

bool LoadVerifiedConfig(const std::string& path) {
  const void* expected = nullptr;
  DWORD expected_size = 0;
  if (!LoadResourceBytes(nullptr, kConfigResourceId, kConfigResourceType, &expected,
                         &expected_size)) {
    return false;
  }
  // Held until the file has been read, so that what is read is what was checked.
  tn::ScopedHandle verified = OpenVerifiedWorkFile(path, expected, expected_size);
  if (!verified) {
    OutputDebugStringA("配置文件与安装程序内的不一致，不读取");
    return false;
  }
  LoadIniFile(path);
  return true;
}

std::string PrepareWorkDir() {
  const std::string directory = GetWorkDirPath();
  // Never reused: a folder that stood there may belong to, and be writable
  // by, whoever created it at the drive root.
  if (!CreateFreshWorkDir(directory)) return directory;
  tn::ScopedHandle pinned = PinDirectory(directory);
  if (!pinned) {
    OutputDebugStringA("工作目录不可用");
    return directory;
  }
  // The results are not checked here: a missing library file fails the
  // extraction later, a missing configuration leaves the table empty.
  (void)WriteResourceToFile(directory, kArchiveLibraryFileName, kArchiveLibraryResourceId,
                            kArchiveLibraryResourceType);
  (void)WriteResourceToFile(directory, kConfigFileName, kConfigResourceId, kConfigResourceType);
  LoadVerifiedConfig(directory + "\\" + kConfigFileName);
  return directory;
}

void RemoveWorkDir() {
  const std::string directory = GetWorkDirPath();
  if (IsReparsePoint(directory)) return;
  DeleteWorkDirFile(directory, kArchiveLibraryFileName);
  DeleteWorkDirFile(directory, kConfigFileName);
  if (IsExistingDirectory(directory)) (void)RemoveDirectoryTree(directory);
}
