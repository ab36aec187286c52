#include "util/process_util.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

class ProcessUtilTest : public ::testing::Test {
 protected:
  bool IsAlive(const tn::ScopedHandle& process) {
    return WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
  }
  void TearDown() override {
    for (tn::ScopedHandle* process : {&lower_, &other_}) {
      if (process->IsValid()) {
        TerminateProcess(process->Get(), 0);
        WaitForSingleObject(process->Get(), 5000);
      }
    }
  }
  tn_test::ScopedTempDir dir_;
  tn::ScopedHandle lower_;
  tn::ScopedHandle other_;
};

TEST_F(ProcessUtilTest, RunningCheckIgnoresCaseButTerminationDoesNot) {
  lower_ = tn_test::StartIdleProgramAs(dir_.path(), "zevodirodaz.exe");
  ASSERT_TRUE(lower_.IsValid());
  Sleep(300);

  EXPECT_TRUE(IsProcessRunning("ZEVodirodaz.exe"));
  EXPECT_TRUE(IsProcessRunning("zevodirodaz.exe"));
  EXPECT_FALSE(IsProcessRunning("xZEVodirodaz.exe"));
  EXPECT_FALSE(IsProcessRunning(""));

  // Another letter case: reported running, but left alone.
  EXPECT_TRUE(TerminateProcessesByName("ZEVodirodaz.exe"));
  Sleep(200);
  EXPECT_TRUE(IsAlive(lower_));

  // The exact name ends it.
  EXPECT_TRUE(TerminateProcessesByName("zevodirodaz.exe"));
  EXPECT_EQ(WaitForSingleObject(lower_.Get(), 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(IsProcessRunning("zevodirodaz.exe"));
}

TEST_F(ProcessUtilTest, TerminatesEveryInstanceAndNothingElse) {
  tn_test::ScopedTempDir second_dir;
  lower_ = tn_test::StartIdleProgramAs(dir_.path(), "TNZiduvaZevi.exe");
  tn::ScopedHandle twin = tn_test::StartIdleProgramAs(second_dir.path(), "TNZiduvaZevi.exe");
  other_ = tn_test::StartIdleProgramAs(dir_.path(), "bystander.exe");
  ASSERT_TRUE(lower_.IsValid() && twin.IsValid() && other_.IsValid());
  Sleep(300);

  EXPECT_TRUE(TerminateProcessesByName("TNZiduvaZevi.exe"));
  EXPECT_EQ(WaitForSingleObject(lower_.Get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(twin.Get(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(IsAlive(other_));
}

TEST(ProcessUtilNamesTest, NothingRunningIsSuccessAndEmptyNameIsNot) {
  EXPECT_TRUE(TerminateProcessesByName("no-such-program-7f3a.exe"));
  EXPECT_FALSE(TerminateProcessesByName(""));
}

}  // namespace
