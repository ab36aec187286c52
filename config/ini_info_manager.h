// The process-wide configuration table: every entry of the installer's
// configuration file, in file order.
#pragma once

#include <windows.h>

#include <list>
#include <string>

// True when |value| reads as one floating-point number by the standard stream
// rules (leading white space, optional sign, digits, optional fraction and
// exponent) with nothing but white space after it. "7", "1726", "1\t", "-2.5"
// and "1e3" are numeric; "0.2.0.1726", "7GB" and "" are not.
bool IsNumeric(const std::string& value);

// One configuration entry. Fields are plain bytes in the ANSI code page (GBK);
// nothing is converted.
class CIniInfoData {
 public:
  CIniInfoData() = default;
  CIniInfoData(const std::string& section, const std::string& key, const std::string& value);
  virtual ~CIniInfoData() = default;

  std::string m_strSection;
  std::string m_strKey;
  std::string m_strValue;
  bool m_bNumeric = false;  // IsNumeric(m_strValue), computed once on creation
};

using CIniInfoList = std::list<CIniInfoData*>;

// The table. Every operation holds the table's lock for its whole run, so the
// user-interface thread and the extraction worker may use it at once.
class CIniInfoManager {
 public:
  // Created empty on first use (thread-safe); destroyed at process exit.
  static CIniInfoManager* GetInstance();

  // Appends a record (section, key, value) with its numeric flag. A null text
  // counts as empty. Always true.
  bool AddIniData(const char* section, const char* key, const char* value);

  // Empties |records|, then appends, in table order, the table's own record of
  // every entry whose section equals |section| byte for byte (case-sensitive).
  // The pointers stay valid until ClearAll; callers never delete them. An
  // unknown section gives an empty list.
  void GetSectionData(const char* section, CIniInfoList* records);

  // Copies the first record (table order, any section) whose key equals |key|
  // byte for byte into |record|. Without a match |record| is left untouched.
  void GetDataByKey(const char* key, CIniInfoData* record);

  // Deletes every record; pointers from GetSectionData become invalid.
  void ClearAll();

  // The number of records.
  DWORD GetCount();

  CIniInfoManager(const CIniInfoManager&) = delete;
  CIniInfoManager& operator=(const CIniInfoManager&) = delete;

 private:
  CIniInfoManager();
  // Releases the lock and the list nodes only. Records not cleared stay
  // allocated: a detached worker may still hold pointers to them at exit.
  virtual ~CIniInfoManager();

  CRITICAL_SECTION lock_;
  CIniInfoList list_;
  DWORD count_ = 0;
};
