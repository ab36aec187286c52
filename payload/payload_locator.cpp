#include "payload/payload_locator.h"

#include <windows.h>

#include "config/ini_info_manager.h"
#include "payload/trailer.h"
#include "util/scoped_handle.h"

namespace tn {

std::string ReadPayloadMarker() {
  CIniInfoList records;
  CIniInfoManager::GetInstance()->GetSectionData("OFFSET_FLAG", &records);
  for (const CIniInfoData* record : records) {
    if (record->m_strKey == "flag") return record->m_strValue;
  }
  return std::string();
}

int64_t FindPayloadOffsetInFile(const std::string& path, const std::string& marker) {
  if (marker.empty()) return 0;
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size)) return 0;
  return LocatePayload(marker, size.QuadPart, [&file](int64_t offset, void* buffer, size_t count) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD read = 0;
    if (!::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.Get(), buffer, static_cast<DWORD>(count), &read, nullptr)) {
      return size_t{0};
    }
    return static_cast<size_t>(read);
  });
}

}  // namespace tn

void FindPayloadOffset(int64_t* offset) {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  // A truncated name would open some other file.
  if (length == 0 || length >= MAX_PATH) {
    *offset = 0;
    return;
  }
  *offset = tn::FindPayloadOffsetInFile(path, tn::ReadPayloadMarker());
}
