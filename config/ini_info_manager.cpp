#include "config/ini_info_manager.h"

#include <sstream>

namespace {

class ScopedLock {
 public:
  explicit ScopedLock(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
  ~ScopedLock() { LeaveCriticalSection(lock_); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CRITICAL_SECTION* lock_;
};

}  // namespace

bool IsNumeric(const std::string& value) {
  std::istringstream stream(value);
  stream.imbue(std::locale::classic());
  double number = 0;
  if (!(stream >> number)) return false;
  char next = 0;
  return !(stream >> next);
}

CIniInfoData::CIniInfoData(const std::string& section, const std::string& key,
                           const std::string& value)
    : m_strSection(section), m_strKey(key), m_strValue(value), m_bNumeric(IsNumeric(value)) {}

CIniInfoManager* CIniInfoManager::GetInstance() {
  static CIniInfoManager instance;
  return &instance;
}

CIniInfoManager::CIniInfoManager() { InitializeCriticalSection(&lock_); }

CIniInfoManager::~CIniInfoManager() { DeleteCriticalSection(&lock_); }

bool CIniInfoManager::AddIniData(const char* section, const char* key, const char* value) {
  // Built outside the lock: IsNumeric is the costly part.
  auto* record = new CIniInfoData(section ? section : "", key ? key : "", value ? value : "");
  ScopedLock lock(&lock_);
  list_.push_back(record);
  ++count_;
  return true;
}

void CIniInfoManager::GetSectionData(const char* section, CIniInfoList* records) {
  if (!records) return;
  records->clear();
  const std::string name = section ? section : "";
  ScopedLock lock(&lock_);
  for (CIniInfoData* record : list_) {
    if (record->m_strSection == name) records->push_back(record);
  }
}

void CIniInfoManager::GetDataByKey(const char* key, CIniInfoData* record) {
  if (!record) return;
  const std::string name = key ? key : "";
  ScopedLock lock(&lock_);
  for (const CIniInfoData* candidate : list_) {
    if (candidate->m_strKey == name) {
      record->m_strSection = candidate->m_strSection;
      record->m_strKey = candidate->m_strKey;
      record->m_strValue = candidate->m_strValue;
      record->m_bNumeric = candidate->m_bNumeric;
      return;
    }
  }
}

void CIniInfoManager::ClearAll() {
  ScopedLock lock(&lock_);
  for (CIniInfoData* record : list_) delete record;
  list_.clear();
  count_ = 0;
}

DWORD CIniInfoManager::GetCount() {
  ScopedLock lock(&lock_);
  return count_;
}
