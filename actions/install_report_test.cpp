#include "actions/install_report.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "config/ini_info_manager.h"
#include "sample/launch_record.h"
#include "tests/support/test_support.h"

namespace {

std::string ReportFile() {
  char app_data[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, app_data, CSIDL_APPDATA, FALSE);
  return std::string(app_data) + "\\ZEVodirodaz\\submitconfig.ini";
}

std::string ProfileValue(const char* key) {
  char value[512] = {};
  GetPrivateProfileStringA("CONFIG", key, "<missing>", value, sizeof(value), ReportFile().c_str());
  return value;
}

// The sample reporting program in a folder of the test's own, writing its
// launch record into another.
class InstallReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_->ClearAll();
    install_dir_ = dir_.Join("安装 dir");  // a blank and Chinese characters
    CreateDirectoryA(install_dir_.c_str(), nullptr);
    record_ = dir_.Join("record.log");
    SetEnvironmentVariableA("TN_SAMPLE_RECORD", record_.c_str());
    ASSERT_FALSE(EnsureUserDataFolder().empty());
  }
  void TearDown() override {
    SetEnvironmentVariableA("TN_SAMPLE_RECORD", nullptr);
    DeleteFileA(ReportFile().c_str());
    table_->ClearAll();
  }
  void InstallReportProgram() {
    ASSERT_TRUE(CopyFileA(tn_test::BuildPath("sample\\product\\ZiduVaziruzOzuded.exe").c_str(),
                          (install_dir_ + "\\ZiduVaziruzOzuded.exe").c_str(), FALSE));
  }
  sample::RecordFields WaitForRecord() {
    for (int i = 0; i < 200; ++i) {
      const std::string text = tn_test::ReadFileBytes(record_);
      if (text.find("\r\n") != std::string::npos) {
        return sample::ParseRecordLine(text.substr(0, text.find("\r\n")));
      }
      Sleep(50);
    }
    return {};
  }

  CIniInfoManager* table_ = CIniInfoManager::GetInstance();
  tn_test::ScopedTempDir dir_;
  std::string install_dir_;
  std::string record_;
};

TEST_F(InstallReportTest, WritesTheFactsAndStartsTheReporterHidden) {
  ASSERT_TRUE(tn_test::WriteFileBytes(
      ReportFile(), "[CONFIG]\r\nuserId=42\r\ninstallPath=old\r\n[OTHER]\r\nx=1\r\n"));
  table_->AddIniData("TARNIS_INFO", "DisplayVersion", "0.2.0.1726");
  InstallReportProgram();
  HandOffInstallReport(install_dir_);
  EXPECT_EQ(install_dir_, ProfileValue("installPath"));
  EXPECT_EQ("0.2.0.1726", ProfileValue("Version"));
  EXPECT_EQ("42", ProfileValue("userId")) << "other keys stay";

  const sample::RecordFields record = WaitForRecord();
  ASSERT_FALSE(record.empty()) << "the reporting program did not start";
  EXPECT_EQ("0.2.0.1726_0", sample::FindField(record, "argument"));
  EXPECT_EQ("1", sample::FindField(record, "argument_count"));
  EXPECT_EQ(install_dir_, sample::FindField(record, "directory"));
  EXPECT_EQ("0", sample::FindField(record, "show")) << "SW_HIDE";
  EXPECT_EQ("1", sample::FindField(record, "matches"));
}

TEST_F(InstallReportTest, WithoutVersionOrProgramNothingComplains) {
  // No DisplayVersion: an empty Version and the argument "_0".
  InstallReportProgram();
  HandOffInstallReport(install_dir_);
  EXPECT_EQ("", ProfileValue("Version"));
  EXPECT_EQ("_0", sample::FindField(WaitForRecord(), "argument"));
  // No reporting program: the file is written all the same, silently.
  const std::string empty_dir = dir_.Join("empty");
  CreateDirectoryA(empty_dir.c_str(), nullptr);
  HandOffInstallReport(empty_dir);
  EXPECT_EQ(empty_dir, ProfileValue("installPath"));
}

}  // namespace
