#include "pages/disk_space.h"

#include <gtest/gtest.h>

#include <climits>

#include "config/ini_info_manager.h"

namespace {

constexpr ULONGLONG kGiB = 1024ull * 1024 * 1024;

TEST(DiskSpaceTest, DriveOfPath) {
  EXPECT_EQ(DriveOfPath("D:\\Games\\ZEVodirodaz"), "D:");
  EXPECT_EQ(DriveOfPath("c:"), "c:");
  EXPECT_EQ(DriveOfPath("\\\\server\\share\\x"), "");
  EXPECT_EQ(DriveOfPath("relative\\x"), "");
  EXPECT_EQ(DriveOfPath(""), "");
}

TEST(DiskSpaceTest, RoundingToTwoDecimals) {
  EXPECT_DOUBLE_EQ(RoundedFreeGigabytes(0), 0.0);
  EXPECT_DOUBLE_EQ(RoundedFreeGigabytes(7 * kGiB), 7.0);
  // 6.999 GB shows as 7.00 and so counts as 7.
  EXPECT_DOUBLE_EQ(RoundedFreeGigabytes(7 * kGiB - kGiB / 1000), 7.0);
  EXPECT_DOUBLE_EQ(RoundedFreeGigabytes(7 * kGiB - kGiB / 100), 6.99);
  // Far beyond what a ten-byte text would hold.
  EXPECT_DOUBLE_EQ(RoundedFreeGigabytes(2000000ull * kGiB), 2000000.0);
  EXPECT_GT(RoundedFreeGigabytes(~0ull), 1.7e10);
}

TEST(DiskSpaceTest, MinimumRule) {
  int required = 0;
  EXPECT_TRUE(FreeSpaceMeetsMinimum(7 * kGiB, "7", true, &required));
  EXPECT_EQ(required, 7);
  required = 0;
  EXPECT_FALSE(FreeSpaceMeetsMinimum(7 * kGiB - kGiB / 100, "7", true, &required));
  EXPECT_EQ(required, 7);
  // A fractional minimum compares exactly but reports its whole part.
  required = 0;
  EXPECT_FALSE(FreeSpaceMeetsMinimum(7 * kGiB + kGiB / 4, "7.5", true, &required));
  EXPECT_EQ(required, 7);
  EXPECT_TRUE(FreeSpaceMeetsMinimum(7 * kGiB + kGiB / 2, "7.5", true, &required));
  // Not numeric or absent: 0 GB, output untouched.
  required = 0;
  EXPECT_TRUE(FreeSpaceMeetsMinimum(0, "7GB", false, &required));
  EXPECT_EQ(required, 0);
  EXPECT_TRUE(FreeSpaceMeetsMinimum(0, nullptr, false, &required));
  EXPECT_EQ(required, 0);
  // Huge requirement and huge free space.
  EXPECT_FALSE(FreeSpaceMeetsMinimum(100 * kGiB, "999999", true, &required));
  EXPECT_EQ(required, 999999);
  EXPECT_TRUE(FreeSpaceMeetsMinimum(1500000ull * kGiB, "999999", true, &required));
  EXPECT_FALSE(FreeSpaceMeetsMinimum(~0ull, "1e300", true, &required));
  EXPECT_EQ(required, 1);
  EXPECT_FALSE(FreeSpaceMeetsMinimum(~0ull, "99999999999999", true, &required));
  EXPECT_EQ(required, INT_MAX);
}

TEST(DiskSpaceTest, QueryOfTheSystemDriveAndOfAMissingOne) {
  CHardDiskManager* disk = CHardDiskManager::GetInstance();
  ASSERT_EQ(disk, CHardDiskManager::GetInstance());
  ASSERT_TRUE(disk->Query("C:"));
  EXPECT_GT(disk->m_ullTotalBytes, 0u);
  EXPECT_GE(disk->m_ullTotalBytes, disk->m_ullTotalFreeBytes);
  // A drive that cannot be asked must not inherit C:'s free space.
  EXPECT_FALSE(disk->Query("Q:"));
  EXPECT_EQ(disk->m_ullFreeBytesAvailable, 0u);
  EXPECT_EQ(disk->m_ullTotalBytes, 0u);
}

TEST(DiskSpaceTest, RequirementComesFromTheFirstEntryOfItsSection) {
  CIniInfoManager* config = CIniInfoManager::GetInstance();
  config->ClearAll();
  int required = 0;
  // No section at all: no minimum.
  EXPECT_TRUE(CheckDiskSpace("C:\\Program Files\\ZEVodirodaz", &required));
  EXPECT_EQ(required, 0);

  // The first entry counts whatever its key; a later one does not.
  config->AddIniData("MIN_INSTALL_SPACE", "minimum", "999999");
  config->AddIniData("MIN_INSTALL_SPACE", "size_GB", "0");
  EXPECT_FALSE(CheckDiskSpace("C:\\Program Files\\ZEVodirodaz", &required));
  EXPECT_EQ(required, 999999);

  config->ClearAll();
  config->AddIniData("OTHER", "size_GB", "999999");
  config->AddIniData("MIN_INSTALL_SPACE", "size_GB", "7GB");
  required = 0;
  EXPECT_TRUE(CheckDiskSpace("C:\\x", &required)) << "a non-numeric minimum is no minimum";
  EXPECT_EQ(required, 0);

  // A drive that does not exist has no room for a real minimum.
  config->ClearAll();
  config->AddIniData("MIN_INSTALL_SPACE", "size_GB", "1");
  EXPECT_FALSE(CheckDiskSpace("Q:\\ZEVodirodaz", &required));
  EXPECT_TRUE(CheckDiskSpace("C:\\ZEVodirodaz", &required));
  config->ClearAll();
}

}  // namespace
