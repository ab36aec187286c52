#include "pages/disk_space.h"

#include <gtest/gtest.h>

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

}  // namespace
