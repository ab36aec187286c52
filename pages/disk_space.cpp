#include "pages/disk_space.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "config/ini_info_manager.h"

CHardDiskManager* CHardDiskManager::GetInstance() {
  // Function-local statics are initialised once, thread-safely.
  static CHardDiskManager instance;
  return &instance;
}

bool CHardDiskManager::Query(const std::string& root) {
  ULARGE_INTEGER available = {}, total = {}, total_free = {};
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, &total, &total_free)) {
    m_ullFreeBytesAvailable = m_ullTotalBytes = m_ullTotalFreeBytes = 0;
    return false;
  }
  m_ullFreeBytesAvailable = available.QuadPart;
  m_ullTotalBytes = total.QuadPart;
  m_ullTotalFreeBytes = total_free.QuadPart;
  return true;
}

std::string DriveOfPath(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && static_cast<unsigned char>(path[0]) < 0x80) {
    return path.substr(0, 2);
  }
  return std::string();
}

double RoundedFreeGigabytes(ULONGLONG free_bytes) {
  const double gigabytes =
      static_cast<double>(free_bytes) * (1.0 / 1024) * (1.0 / 1024) * (1.0 / 1024);
  // 2^64 bytes are about 1.7e10 GB: 32 bytes hold every such text.
  char text[32];
  snprintf(text, sizeof(text), "%.2f", gigabytes);
  return strtod(text, nullptr);
}

bool FreeSpaceMeetsMinimum(ULONGLONG free_bytes, const char* minimum_value, bool numeric,
                           int* required_gb) {
  double required = 0;
  if (minimum_value && numeric) {
    required = strtod(minimum_value, nullptr);
    long whole = strtol(minimum_value, nullptr, 10);
    if (whole > INT_MAX) whole = INT_MAX;
    if (whole < INT_MIN) whole = INT_MIN;
    if (required_gb) *required_gb = static_cast<int>(whole);
  }
  return required <= RoundedFreeGigabytes(free_bytes);
}

bool CheckDiskSpace(const std::string& install_dir, int* required_gb) {
  CHardDiskManager* disk = CHardDiskManager::GetInstance();
  static_cast<void>(disk->Query(DriveOfPath(install_dir)));
  CIniInfoList records;
  CIniInfoManager::GetInstance()->GetSectionData("MIN_INSTALL_SPACE", &records);
  // The first entry counts whatever its key; no section means no minimum.
  const CIniInfoData* first = records.empty() ? nullptr : records.front();
  return FreeSpaceMeetsMinimum(disk->m_ullFreeBytesAvailable,
                               first ? first->m_strValue.c_str() : nullptr,
                               first && first->m_bNumeric, required_gb);
}
