#include "config/ini_info_manager.h"

#include <cmath>
#include <cstdlib>

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

namespace {

bool IsStreamSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// The same decision as reading a double with `stream >> number` and then
// failing to read one more character, without the C++ streams (their locale
// machinery would more than double the installer's size): white space, an
// optional sign, digits with at most one point, an exponent only after a
// digit, then nothing but white space; a value out of range does not count.
bool IsNumeric(const std::string& value) {
  size_t i = 0;
  const size_t n = value.size();
  while (i < n && IsStreamSpace(value[i])) ++i;
  const size_t start = i;
  if (i < n && (value[i] == '+' || value[i] == '-')) ++i;
  bool digits = false, point = false;
  for (; i < n; ++i) {
    if (IsDigit(value[i])) {
      digits = true;
    } else if (value[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < n && (value[i] == 'e' || value[i] == 'E')) {
    size_t j = i + 1;
    if (j < n && (value[j] == '+' || value[j] == '-')) ++j;
    if (j >= n || !IsDigit(value[j])) return false;  // "1e" fails as the stream does
    while (j < n && IsDigit(value[j])) ++j;
    i = j;
  }
  const std::string number = value.substr(start, i - start);
  char* end = nullptr;
  const double parsed = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || std::isinf(parsed)) return false;
  while (i < n && IsStreamSpace(value[i])) ++i;
  return i == n;
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
