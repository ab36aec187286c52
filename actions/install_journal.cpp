#include "actions/install_journal.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>

#include "actions/shortcuts.h"
#include "util/file_util.h"
#include "util/text_encoding.h"

namespace {

constexpr char kJournalFolderName[] = "ZEVodirodaz";
constexpr char kJournalFileName[] = "install.journal";
constexpr char kHeader[] = "tnsetup journal 1";
constexpr char kBackupMarker[] = ".~tnbak-";
// Delete-list entries are journalled this many at a time, ahead of their moves.
constexpr size_t kBatch = 512;

// Files a backup folder of MoveAsideEach takes before the next one is begun.
constexpr size_t kBackupSlot = 64;
// Fewer listed files than this are moved one by one even when they are all
// their folder holds.
constexpr size_t kWholeFolderEntries = 8;

// A path with "..", "." and trailing dots and blanks resolved as Windows
// resolves them, without trailing backslashes; empty when it is too long.
std::string FullPathOf(const std::string& path) {
  char full[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
  if (length == 0 || length >= sizeof(full)) return std::string();
  std::string result = full;
  while (result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

// A name as Windows compares names: without regard to case.
std::wstring FoldedName(const std::string& name) {
  const int length =
      MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &wide[0], length);
    CharUpperBuffW(&wide[0], static_cast<DWORD>(length));
  }
  return wide;
}

// Renames |from| to |to| (a file, a link or a folder) with one handle: a
// third fewer trips to the Wine server than MoveFileEx, which counts when
// thousands of listed files are moved. |replace| replaces a file at |to|.
bool RenameEntry(const std::string& from, const std::string& to, bool replace) {
  const std::wstring source = SystemAnsiToWide(from);
  const std::wstring target = SystemAnsiToWide(to);
  tn::ScopedHandle handle(CreateFileW(
      source.c_str(), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return false;
  const size_t name_bytes = target.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes, 0);
  FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, target.data(), name_bytes);
  return SetFileInformationByHandle(handle.Get(), FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size())) != FALSE;
}

// Every entry of |folder|: its folded name -> (name, attributes).
void ListFolder(const std::string& folder,
                std::unordered_map<std::wstring, std::pair<std::string, DWORD>>* names) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!find) return;
  do {
    if (lstrcmpA(data.cFileName, ".") == 0 || lstrcmpA(data.cFileName, "..") == 0) continue;
    (*names)[FoldedName(data.cFileName)] = {data.cFileName, data.dwFileAttributes};
  } while (FindNextFileA(find.Get(), &data));
}

struct KindName {
  CInstallJournal::Kind kind;
  const char* name;
  int fields;
};
constexpr KindName kKinds[] = {
    {CInstallJournal::Kind::kMove, "move", 2},
    {CInstallJournal::Kind::kCreated, "created", 1},
    {CInstallJournal::Kind::kFilled, "filled", 1},
    {CInstallJournal::Kind::kMerge, "merge", 2},
    {CInstallJournal::Kind::kUnpinned, "unpinned", 2},
    {CInstallJournal::Kind::kCommit, "commit", 0},
};

std::string WithoutTrailingBackslashes(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

bool PathIsThere(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectoryEntry(const WIN32_FIND_DATAA& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const char* name) { return lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0; }

bool IsEmptyDirectory(const std::string& directory) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((directory + "\\*").c_str(), &data));
  if (!find) return false;
  do {
    if (!IsDotEntry(data.cFileName)) return false;
  } while (FindNextFileA(find.Get(), &data));
  return true;
}

// The marker and eight hexadecimal digits: the suffix of a run.
bool IsRunSuffix(const std::string& text) {
  const size_t marker = sizeof(kBackupMarker) - 1;
  if (text.size() != marker + 8 || text.compare(0, marker, kBackupMarker) != 0) return false;
  for (size_t i = marker; i < text.size(); ++i) {
    const char c = text[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// The backup folder (MoveAsideEach) that |backup| of |original| lies in:
// "<folder>\<run suffix>\<n>\<name>" for "<folder>\<name>"; empty when it
// is not such a backup.
std::string BackupFolderOf(const std::string& backup, const std::string& original) {
  const size_t slash = original.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  const std::string parent = original.substr(0, slash + 1);
  const std::string name = original.substr(slash + 1);
  if (backup.size() <= parent.size() + name.size() ||
      backup.compare(0, parent.size(), parent) != 0 ||
      backup.compare(backup.size() - name.size() - 1, std::string::npos, "\\" + name) != 0) {
    return std::string();
  }
  const std::string middle =
      backup.substr(parent.size(), backup.size() - name.size() - 1 - parent.size());
  const size_t middle_slash = middle.find('\\');
  if (middle_slash == std::string::npos || !IsRunSuffix(middle.substr(0, middle_slash))) {
    return std::string();
  }
  const std::string slot = middle.substr(middle_slash + 1);
  if (slot.empty() || slot.find_first_not_of("0123456789") != std::string::npos)
    return std::string();
  return parent + middle.substr(0, middle_slash);
}

// A backup is its original's name followed by the run's suffix (and perhaps
// "-<n>") beside it, or the original's name in a backup folder beside it.
bool IsBackupOf(const std::string& backup, const std::string& original) {
  if (!BackupFolderOf(backup, original).empty()) return true;
  const size_t suffix = sizeof(kBackupMarker) - 1 + 8;
  if (backup.size() < original.size() + suffix ||
      backup.compare(0, original.size(), original) != 0) {
    return false;
  }
  const std::string tail = backup.substr(original.size());
  if (!IsRunSuffix(tail.substr(0, suffix))) return false;
  const std::string count = tail.substr(suffix);
  return count.empty() || (count.size() > 1 && count[0] == '-' &&
                           count.find_first_not_of("0123456789", 1) == std::string::npos);
}

bool IsLocalAbsolute(const std::string& path) {
  return path.size() > 3 && path[1] == ':' && path[2] == '\\' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Only entries that an installer of ours can have written are played back:
// a backup beside its original, directories that a tree removal allows.
bool IsPlausible(const CInstallJournal::Entry& entry) {
  switch (entry.kind) {
    case CInstallJournal::Kind::kMove:
    case CInstallJournal::Kind::kMerge:
      return IsLocalAbsolute(entry.first) && IsBackupOf(entry.second, entry.first);
    case CInstallJournal::Kind::kCreated:
    case CInstallJournal::Kind::kFilled:
      return IsLocalAbsolute(entry.first) && IsRemovableTreePath(entry.first);
    case CInstallJournal::Kind::kUnpinned:
      return IsLocalAbsolute(entry.first) && !entry.second.empty();
    case CInstallJournal::Kind::kCommit: return true;
  }
  return false;
}

std::string FormatEntry(const CInstallJournal::Entry& entry) {
  for (const KindName& kind : kKinds) {
    if (kind.kind != entry.kind) continue;
    std::string line = kind.name;
    if (kind.fields >= 1) line += "\t" + entry.first;
    if (kind.fields >= 2) line += "\t" + entry.second;
    return line + "\n";
  }
  return std::string();
}

bool ParseEntry(const std::string& line, CInstallJournal::Entry* entry) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  for (const KindName& kind : kKinds) {
    if (fields[0] != kind.name) continue;
    if (static_cast<int>(fields.size()) != kind.fields + 1) return false;
    entry->kind = kind.kind;
    entry->first = kind.fields >= 1 ? fields[1] : std::string();
    entry->second = kind.fields >= 2 ? fields[2] : std::string();
    return true;
  }
  return false;
}

// Moves back from |backup| into |directory| whatever the new installation
// did not bring; folders that both have are merged in turn.
void MergeBack(const std::string& backup, const std::string& directory) {
  WIN32_FIND_DATAA data;
  tn::ScopedFindHandle find(FindFirstFileA((backup + "\\*").c_str(), &data));
  if (!find) return;
  do {
    if (IsDotEntry(data.cFileName)) continue;
    const std::string from = backup + "\\" + data.cFileName;
    const std::string to = directory + "\\" + data.cFileName;
    const DWORD existing = GetFileAttributesA(to.c_str());
    if (existing == INVALID_FILE_ATTRIBUTES) {
      if (!MoveFileExA(from.c_str(), to.c_str(), 0)) {
        OutputDebugStringA("安装目录中原有的文件无法放回\n");
      }
    } else if (IsDirectoryEntry(data) && (existing & FILE_ATTRIBUTE_DIRECTORY) &&
               !IsReparsePoint(from) && !IsReparsePoint(to)) {
      MergeBack(from, to);
    }
  } while (FindNextFileA(find.Get(), &data));
}

// Asks for everything left below |directory|, then the directory itself,
// to be deleted when the machine next starts.
void DeleteTreeAtRestart(const std::string& directory) {
  if (!IsReparsePoint(directory)) {
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle find(FindFirstFileA((directory + "\\*").c_str(), &data));
    if (find) {
      do {
        if (IsDotEntry(data.cFileName)) continue;
        const std::string child = directory + "\\" + data.cFileName;
        if (IsDirectoryEntry(data)) {
          DeleteTreeAtRestart(child);
        } else if (!MoveFileExA(child.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
          OutputDebugStringA("备份文件无法安排在重启时删除\n");
        }
      } while (FindNextFileA(find.Get(), &data));
    }
  }
  if (!MoveFileExA(directory.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    OutputDebugStringA("备份目录无法安排在重启时删除\n");
  }
}

void DeleteBackup(const std::string& backup) {
  const DWORD attributes = GetFileAttributesA(backup.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    static_cast<void>(RemoveDirectoryTree(backup));
    if (PathIsThere(backup)) DeleteTreeAtRestart(backup);
    return;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesA(backup.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!DeleteFileA(backup.c_str()) &&
      !MoveFileExA(backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    OutputDebugStringA("备份文件无法删除\n");
  }
}

void PutBack(const std::string& original, const std::string& backup) {
  const DWORD attributes = GetFileAttributesA(backup.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    OutputDebugStringA("回滚时备份已不存在，跳过\n");
    return;
  }
  // Only a file may be replaced: the one thing that can stand at a moved
  // file's place during the installation is the Quick Launch link made to
  // unpin the earlier program. A directory's place was emptied before.
  if (!RenameEntry(backup, original, !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
    OutputDebugStringA("回滚时备份无法放回原处\n");
  }
}

struct Cleanup {
  std::vector<CInstallJournal::Entry> entries;
  std::string journal_path;
};

void DeleteJournalFile(const std::string& path) {
  if (path.empty()) return;
  DeleteFileA(path.c_str());
  const size_t slash = path.find_last_of('\\');
  // Goes only when nothing else is in it.
  if (slash != std::string::npos) RemoveDirectoryA(path.substr(0, slash).c_str());
}

DWORD WINAPI CleanupThread(LPVOID parameter) {
  std::unique_ptr<Cleanup> cleanup(static_cast<Cleanup*>(parameter));
  CommitEntries(cleanup->entries);
  DeleteJournalFile(cleanup->journal_path);
  return 0;
}

std::string MakeSuffix() {
  LARGE_INTEGER counter = {};
  QueryPerformanceCounter(&counter);
  const unsigned value =
      static_cast<unsigned>(counter.LowPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
  char text[32];
  std::snprintf(text, sizeof(text), "%s%08x", kBackupMarker, value);
  return text;
}

}  // namespace

CInstallJournal::CInstallJournal(std::string path)
    : path_(std::move(path)), suffix_(MakeSuffix()) {}

CInstallJournal::~CInstallJournal() = default;

std::string CInstallJournal::JournalPath() {
  char common[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, common, CSIDL_PROGRAM_FILES_COMMON, FALSE) ||
      common[0] == '\0') {
    return std::string();
  }
  return WithoutTrailingBackslashes(common) + "\\" + kJournalFolderName + "\\" + kJournalFileName;
}

void CInstallJournal::Begin() {
  if (path_.empty()) path_ = JournalPath();
  entries_.clear();
  committed_ = false;
  active_ = true;
  file_.Reset();
  if (path_.empty()) return;
  const size_t slash = path_.find_last_of('\\');
  if (slash != std::string::npos) CreateDirectoryA(path_.substr(0, slash).c_str(), nullptr);
  file_.Reset(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) {
    OutputDebugStringA("安装日志无法创建，仅在内存中记录\n");
    return;
  }
  const std::string header = std::string(kHeader) + "\n";
  DWORD written = 0;
  WriteFile(file_.Get(), header.data(), static_cast<DWORD>(header.size()), &written, nullptr);
}

bool CInstallJournal::Append(const std::vector<Entry>& entries, bool flush) {
  if (!file_) return false;
  std::string text;
  for (const Entry& entry : entries) text += FormatEntry(entry);
  DWORD written = 0;
  const bool ok =
      WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size();
  if (ok && flush) FlushFileBuffers(file_.Get());
  return ok;
}

std::string CInstallJournal::FreeBackupName(const std::string& path) const {
  for (int attempt = 1; attempt <= 100; ++attempt) {
    std::string name = path + suffix_;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    if (name.size() >= MAX_PATH) return std::string();
    if (!PathIsThere(name)) return name;
  }
  return std::string();
}

CInstallJournal::MoveResult CInstallJournal::MoveAside(const std::string& path) {
  const std::string original = WithoutTrailingBackslashes(path);
  if (original.empty() || !PathIsThere(original)) return MoveResult::kNothingThere;
  const std::string backup = FreeBackupName(original);
  if (backup.empty()) return MoveResult::kFailed;
  const Entry entry{Kind::kMove, original, backup};
  Append({entry}, true);
  if (!MoveFileExA(original.c_str(), backup.c_str(), 0)) return MoveResult::kFailed;
  entries_.push_back(entry);
  return MoveResult::kMoved;
}

void CInstallJournal::MoveAsideEach(const std::vector<std::string>& paths,
                                    const std::function<bool(DWORD attributes)>& movable,
                                    const KeepAlive& keep_alive,
                                    const std::function<bool(const std::string&)>& whole_folder) {
  // Under Wine a rename to a new name scans the target folder for the name
  // in another case, and a look-up of a missing name scans the folder it
  // would be in: per entry, that is a scan of a folder of the earlier
  // installation's size. So each folder is listed once, the entries are
  // looked up in that listing, and the files go into small backup folders
  // of their own (kBackupSlot files each) inside it. A folder whose every
  // entry is a listed file goes aside whole, and an empty one takes its
  // place: one rename instead of one a file.
  struct Folder {
    std::string path;
    std::unordered_map<std::wstring, std::pair<std::string, DWORD>> names;
    size_t entries = 0;  // in the listing
    size_t listed = 0;   // of them found in |paths|, each once
    bool only_files = true;
    bool moved_whole = false;
    size_t moved = 0;  // into its backup folders
  };
  struct Found {
    Folder* folder;
    std::string name;
  };
  std::unordered_map<std::wstring, Folder> folders;
  std::vector<Found> found_entries;
  for (const std::string& path : paths) {
    if (keep_alive) keep_alive();
    const std::string original = FullPathOf(path);
    const size_t slash = original.find_last_of('\\');
    if (original.empty() || slash == std::string::npos || slash + 1 == original.size()) continue;
    const std::string parent = original.substr(0, slash);
    Folder& folder = folders[FoldedName(parent)];
    if (folder.path.empty()) {
      folder.path = parent;
      ListFolder(parent, &folder.names);
      folder.entries = folder.names.size();
    }
    const auto found = folder.names.find(FoldedName(original.substr(slash + 1)));
    if (found == folder.names.end() || !movable(found->second.second)) continue;
    found_entries.push_back({&folder, found->second.first});
    ++folder.listed;
    folder.only_files = folder.only_files && !(found->second.second & FILE_ATTRIBUTE_DIRECTORY);
    folder.names.erase(found);
  }

  if (whole_folder) {
    for (auto& item : folders) {
      Folder& folder = item.second;
      if (folder.listed != folder.entries || folder.entries < kWholeFolderEntries ||
          !folder.only_files || !whole_folder(folder.path) || IsReparsePoint(folder.path)) {
        continue;
      }
      if (keep_alive) keep_alive();
      const DWORD attributes = GetFileAttributesA(folder.path.c_str());
      if (MoveAside(folder.path) != MoveResult::kMoved) continue;
      const Entry created{Kind::kCreated, folder.path, std::string()};
      Append({created}, true);
      entries_.push_back(created);
      CreateDirectoryA(folder.path.c_str(), nullptr);
      SetFileAttributesA(
          folder.path.c_str(),
          attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY |
                        FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
      folder.moved_whole = true;
    }
  }

  for (size_t start = 0; start < found_entries.size(); start += kBatch) {
    const size_t end = std::min(found_entries.size(), start + kBatch);
    std::vector<std::pair<Entry, size_t>> batch;
    for (size_t i = start; i < end; ++i) {
      Folder& folder = *found_entries[i].folder;
      if (folder.moved_whole) continue;
      const size_t slot = folder.moved / kBackupSlot;
      const std::string original = folder.path + "\\" + found_entries[i].name;
      const std::string backup =
          folder.path + "\\" + suffix_ + "\\" + std::to_string(slot) + "\\" + found_entries[i].name;
      if (backup.size() >= MAX_PATH) continue;
      batch.push_back({{Kind::kMove, original, backup}, folder.moved++});
    }
    std::vector<Entry> lines;
    for (const auto& planned : batch) lines.push_back(planned.first);
    Append(lines, false);
    for (const auto& planned : batch) {
      if (keep_alive) keep_alive();
      const std::string& backup = planned.first.second;
      if (planned.second % kBackupSlot == 0) {
        const std::string slot_folder = backup.substr(0, backup.find_last_of('\\'));
        if (planned.second == 0) {
          CreateDirectoryA(slot_folder.substr(0, slot_folder.find_last_of('\\')).c_str(), nullptr);
        }
        CreateDirectoryA(slot_folder.c_str(), nullptr);
      }
      if (RenameEntry(planned.first.first, backup, false)) entries_.push_back(planned.first);
    }
  }
  if (file_) FlushFileBuffers(file_.Get());
}

bool CInstallJournal::PrepareDirectory(const std::string& path) {
  const std::string directory = WithoutTrailingBackslashes(path);
  if (!IsLocalAbsolute(directory)) return false;
  const DWORD attributes = GetFileAttributesA(directory.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (IsEmptyDirectory(directory)) {
      const Entry entry{Kind::kFilled, directory, std::string()};
      Append({entry}, true);
      entries_.push_back(entry);
      return true;
    }
    if (IsReparsePoint(directory)) {
      // Renaming the link aside and merging its target back would move the
      // target's own files; the new files go through the link as they are.
      OutputDebugStringA("安装目录是链接，其中的文件不做备份\n");
      return true;
    }
    const std::string backup = FreeBackupName(directory);
    if (backup.empty()) return false;
    const Entry merge{Kind::kMerge, directory, backup};
    Append({merge}, true);
    if (!MoveFileExA(directory.c_str(), backup.c_str(), 0)) return false;
    entries_.push_back(merge);
  }

  // The topmost missing folder is journalled: a rollback removes it with
  // everything below.
  std::string topmost = directory;
  for (;;) {
    const size_t slash = topmost.find_last_of('\\');
    if (slash == std::string::npos || slash < 3) break;
    const std::string parent = topmost.substr(0, slash);
    if (PathIsThere(parent)) break;
    topmost = parent;
  }
  const Entry created{Kind::kCreated, topmost, std::string()};
  Append({created}, true);
  entries_.push_back(created);
  std::vector<std::string> levels;
  for (std::string level = directory;; level = level.substr(0, level.find_last_of('\\'))) {
    levels.push_back(level);
    if (level.size() <= topmost.size()) break;
  }
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    if (!CreateDirectoryA(level->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return IsExistingDirectory(directory);
}

void CInstallJournal::RecordUnpinned(const std::string& program, const std::string& link_name) {
  const Entry entry{Kind::kUnpinned, program, link_name};
  Append({entry}, true);
  entries_.push_back(entry);
}

void CInstallJournal::Commit() {
  if (!active_ || committed_) return;
  Append({{Kind::kCommit, std::string(), std::string()}}, true);
  committed_ = true;
  file_.Reset();
  auto cleanup = std::make_unique<Cleanup>(Cleanup{entries_, path_});
  DWORD thread_id = 0;
  cleanup_.Reset(CreateThread(nullptr, 0, CleanupThread, cleanup.get(), 0, &thread_id));
  if (cleanup_) {
    cleanup.release();  // the thread's now
  } else {
    CommitEntries(cleanup->entries);
    DeleteJournalFile(path_);
  }
  active_ = false;
}

void CInstallJournal::RollBack(const KeepAlive& keep_alive) {
  if (!active_ || committed_) return;
  RollBackEntries(entries_, keep_alive);
  entries_.clear();
  CloseAndDelete();
  active_ = false;
}

bool CInstallJournal::WaitForCleanup(DWORD timeout_ms) {
  if (!cleanup_) return true;
  return WaitForSingleObject(cleanup_.Get(), timeout_ms) == WAIT_OBJECT_0;
}

void CInstallJournal::CloseAndDelete() {
  file_.Reset();
  DeleteJournalFile(path_);
}

std::vector<CInstallJournal::Entry> CInstallJournal::ReadJournal(const std::string& path) {
  std::vector<Entry> entries;
  tn::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return entries;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > (1LL << 30)) return entries;
  std::string text(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!text.empty() &&
      (!ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr) ||
       read != text.size())) {
    return entries;
  }
  // Only whole lines count: a line cut off by a kill has no line end.
  size_t start = 0;
  bool header = false;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!header) {
      if (line != kHeader) return entries;
      header = true;
      continue;
    }
    Entry entry;
    if (ParseEntry(line, &entry) && IsPlausible(entry)) {
      entries.push_back(entry);
    } else {
      OutputDebugStringA("安装日志中的一行无法识别，跳过\n");
    }
  }
  return entries;
}

bool CInstallJournal::RecoverInterruptedInstallation(const std::string& given_path) {
  const std::string path = given_path.empty() ? JournalPath() : given_path;
  if (path.empty() || !PathIsThere(path)) return false;
  const std::vector<Entry> entries = ReadJournal(path);
  bool committed = false;
  for (const Entry& entry : entries) committed = committed || entry.kind == Kind::kCommit;
  if (committed) {
    OutputDebugStringA("上次安装已完成注册，删除其遗留的备份\n");
    CommitEntries(entries);
  } else {
    OutputDebugStringA("上次安装未完成，恢复之前的安装\n");
    RollBackEntries(entries);
  }
  DeleteJournalFile(path);
  return true;
}

void RollBackEntries(const std::vector<CInstallJournal::Entry>& entries,
                     const KeepAlive& keep_alive) {
  std::set<std::string> backup_folders;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (keep_alive) keep_alive();
    switch (it->kind) {
      case CInstallJournal::Kind::kMove:
      case CInstallJournal::Kind::kMerge: {
        PutBack(it->first, it->second);
        const std::string folder = BackupFolderOf(it->second, it->first);
        if (!folder.empty()) backup_folders.insert(folder);
        break;
      }
      case CInstallJournal::Kind::kCreated:
        static_cast<void>(RemoveDirectoryTree(it->first));
        break;
      case CInstallJournal::Kind::kFilled:
        static_cast<void>(RemoveDirectoryContents(it->first));
        break;
      case CInstallJournal::Kind::kUnpinned:
        // Pinned as the earlier installation pinned it: through a Quick
        // Launch link made for the purpose, which the earlier one's own
        // link (put back next) then replaces.
        if (CreateShortcut(QuickLaunch, it->first, it->second, false)) {
          DeleteFileA((QuickLaunchFolder() + "\\" + it->second + ".lnk").c_str());
        }
        break;
      case CInstallJournal::Kind::kCommit: break;
    }
  }
  // The emptied backup folders; one that still holds a file (it could not
  // be put back) stays with it.
  for (const std::string& folder : backup_folders) {
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (find) {
      do {
        if (!IsDotEntry(data.cFileName)) RemoveDirectoryA((folder + "\\" + data.cFileName).c_str());
      } while (FindNextFileA(find.Get(), &data));
    }
    find.Reset();
    RemoveDirectoryA(folder.c_str());
  }
}

void CommitEntries(const std::vector<CInstallJournal::Entry>& entries) {
  std::set<std::string> backup_folders;
  for (const CInstallJournal::Entry& entry : entries) {
    if (entry.kind == CInstallJournal::Kind::kMerge) MergeBack(entry.second, entry.first);
    if (entry.kind != CInstallJournal::Kind::kMove && entry.kind != CInstallJournal::Kind::kMerge) {
      continue;
    }
    const std::string folder = BackupFolderOf(entry.second, entry.first);
    if (folder.empty()) {
      DeleteBackup(entry.second);
    } else {
      backup_folders.insert(folder);
    }
  }
  // A backup folder goes whole: one tree removal instead of a deletion per file.
  for (const std::string& folder : backup_folders) DeleteBackup(folder);
}
