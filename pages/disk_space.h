// The free-space admission rule of the install directory's drive.
#pragma once

#include <windows.h>

#include <string>

// What the last free-space query reported, in bytes. One instance per
// process, created on first use.
class CHardDiskManager {
 public:
  static CHardDiskManager* GetInstance();
  virtual ~CHardDiskManager() = default;

  // Queries the drive |root| ("D:" or "D:\"). On failure the three fields are
  // set to 0, so a drive that cannot be asked never counts as having room.
  bool Query(const std::string& root);

  ULONGLONG m_ullFreeBytesAvailable = 0;  // available to the caller
  ULONGLONG m_ullTotalBytes = 0;
  ULONGLONG m_ullTotalFreeBytes = 0;

 private:
  CHardDiskManager() = default;
  CHardDiskManager(const CHardDiskManager&) = delete;
  CHardDiskManager& operator=(const CHardDiskManager&) = delete;
};

// "D:" for "D:\x\y"; empty when the path does not start with a drive letter.
std::string DriveOfPath(const std::string& path);

// Free bytes as gigabytes (2^30), rounded to two decimals the way the text
// "%.2f" shows them. Any 64-bit byte count is handled.
double RoundedFreeGigabytes(ULONGLONG free_bytes);

// The rule itself: |minimum_value| is the first entry of the configuration's
// minimum-space section and |numeric| whether it reads as a number. A numeric
// minimum M passes when M <= the rounded free gigabytes, and sets
// *required_gb to M's whole part (saturated to the int range); a non-numeric
// or absent minimum (|minimum_value| null) passes and leaves *required_gb.
bool FreeSpaceMeetsMinimum(ULONGLONG free_bytes, const char* minimum_value, bool numeric,
                           int* required_gb);

// Queries the drive of |install_dir| through the CHardDiskManager instance
// and applies FreeSpaceMeetsMinimum with the first record of the
// configuration section "MIN_INSTALL_SPACE" (no section: 0 GB). The caller
// sets *required_gb to 0 before.
bool CheckDiskSpace(const std::string& install_dir, int* required_gb);
