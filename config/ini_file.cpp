#include "config/ini_file.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "config/ini_info_manager.h"

namespace {

// The profile readers never report how much they would need; the buffer is
// grown until the answer is no longer cut off, so the byte limits are applied
// here to whole names and entries and never cut one in the middle (a cut
// value would be stored as if it were the configured one).
constexpr DWORD kMaxReadBuffer = 1 << 20;

using ProfileReader = DWORD (*)(const char* section, char* buffer, DWORD size, const char* path);

std::vector<std::string> ReadNulSeparatedList(ProfileReader reader, const char* section,
                                              const std::string& path) {
  std::vector<std::string> items;
  for (DWORD size = 4096; size <= kMaxReadBuffer; size *= 4) {
    std::vector<char> buffer(size + 2, '\0');
    const DWORD length = reader(section, buffer.data(), size, path.c_str());
    if (length + 2 >= size && size < kMaxReadBuffer) continue;  // cut off: read again, larger
    for (const char* item = buffer.data(); item < buffer.data() + length && *item;
         item += std::strlen(item) + 1) {
      items.emplace_back(item);
    }
    break;
  }
  return items;
}

DWORD ReadSectionNames(const char*, char* buffer, DWORD size, const char* path) {
  return GetPrivateProfileSectionNamesA(buffer, size, path);
}

DWORD ReadSection(const char* section, char* buffer, DWORD size, const char* path) {
  return GetPrivateProfileSectionA(section, buffer, size, path);
}

// Keeps the leading items that fit |limit| bytes, each counted with its NUL,
// plus the final NUL of the list.
void ApplyLimit(std::vector<std::string>* items, size_t limit) {
  size_t used = 1;
  size_t kept = 0;
  for (const std::string& item : *items) {
    if (used + item.size() + 1 > limit) break;
    used += item.size() + 1;
    ++kept;
  }
  items->resize(kept);
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

void LoadIniFile(const std::string& file) {
  if (file.empty()) return;
  // The profile readers look for a bare file name in the Windows directory;
  // only the file meant is read.
  char full[MAX_PATH * 2] = {};
  const DWORD full_length = GetFullPathNameA(file.c_str(), sizeof(full), full, nullptr);
  if (full_length == 0 || full_length >= sizeof(full)) return;
  const std::string path = full;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;

  CIniInfoManager* table = CIniInfoManager::GetInstance();
  std::vector<std::string> sections = ReadNulSeparatedList(ReadSectionNames, nullptr, path);
  ApplyLimit(&sections, kIniSectionNamesLimit);
  for (const std::string& section : sections) {
    std::vector<std::string> entries = ReadNulSeparatedList(ReadSection, section.c_str(), path);
    ApplyLimit(&entries, kIniSectionLimit);
    for (const std::string& entry : entries) {
      const size_t equals = entry.find('=');
      if (equals == std::string::npos) continue;
      const std::string key = TrimBlanks(entry.substr(0, equals));
      if (key.empty()) continue;
      table->AddIniData(section.c_str(), key.c_str(), TrimBlanks(entry.substr(equals + 1)).c_str());
    }
  }
}
