// Starts each sample program the way the installer or the shell would and
// checks what it recorded and how it behaves.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "sample/product_names.h"
#include "sample/sample_test_support.h"

namespace {

using sample::FindField;
using sample_test::ScopedRecordFile;
using sample_test::StartWithShow;
using sample_test::WaitForExit;

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  // Wine gives every GUI thread a hidden "Default IME" window; skip hidden ones.
  if (owner == search->process_id && GetWindow(window, GW_OWNER) == nullptr &&
      IsWindowVisible(window) && GetWindowTextLengthA(window) > 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForTopWindow(DWORD process_id, DWORD timeout_ms) {
  const DWORD begin = GetTickCount();
  do {
    WindowSearch search = {process_id, nullptr};
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  } while (GetTickCount() - begin < timeout_ms);
  return nullptr;
}

class SampleProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    install_dir_ = temp_.Join("Tarnis 安装");
    ASSERT_TRUE(CreateDirectoryA(install_dir_.c_str(), nullptr));
  }

  std::string Install(const std::string& program) {
    EXPECT_TRUE(sample_test::CopyProductFile(program, install_dir_)) << program;
    return install_dir_ + "\\" + program;
  }

  tn_test::ScopedTempDir temp_;
  ScopedRecordFile record_;
  std::string install_dir_;
};

TEST_F(SampleProgramsTest, MainProgramShowsItsWindowAsAskedAndClosesCleanly) {
  const std::string exe = Install(sample::kMainProgram);
  const std::string command_line = Quoted(exe) + " --from-shortcut";
  tn::ScopedHandle process = StartWithShow(command_line, temp_.path(), true, SW_SHOWMINNOACTIVE);
  ASSERT_TRUE(process);

  const auto record = record_.WaitFor(sample::kMainProgram, "start");
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(command_line, FindField(record, "command_line"));
  EXPECT_EQ(temp_.path(), FindField(record, "directory"));
  EXPECT_EQ(std::to_string(SW_SHOWMINNOACTIVE), FindField(record, "show"));
  EXPECT_EQ("0x00000001", FindField(record, "flags"));

  HWND window = WaitForTopWindow(GetProcessId(process.Get()), 10000);
  ASSERT_NE(nullptr, window);
  char title[64] = {};
  GetWindowTextA(window, title, sizeof(title));
  EXPECT_STREQ(sample::kProductName, title);
  EXPECT_TRUE(IsIconic(window));

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(0u, WaitForExit(process, 10000));
}

TEST_F(SampleProgramsTest, RecordsTheShowCommandItWasGiven) {
  // The reporting program ends at once, which makes it the quickest probe.
  const std::string exe = Install(sample::kReportProgram);
  struct Case {
    bool use_show;
    WORD show;
    const char* flags;
  } const kCases[] = {
      {true, SW_HIDE, "0x00000001"},
      {true, SW_SHOWNORMAL, "0x00000001"},
      {false, 0, "0x00000000"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "use_show=" << c.use_show << " show=" << c.show);
    DeleteFileA(record_.path().c_str());
    tn::ScopedHandle process = StartWithShow(Quoted(exe) + " x", install_dir_, c.use_show, c.show);
    ASSERT_TRUE(process);
    EXPECT_NE(STILL_ACTIVE, WaitForExit(process, 10000));
    const auto record = record_.WaitFor(sample::kReportProgram, "start", 0);
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(c.flags, FindField(record, "flags"));
    if (c.use_show) {
      EXPECT_EQ(std::to_string(c.show), FindField(record, "show"));
    }
    EXPECT_EQ(install_dir_, FindField(record, "directory"));
  }
}

class ReportProgramTest : public SampleProgramsTest {
 protected:
  void SetUp() override {
    SampleProgramsTest::SetUp();
    char app_data[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, app_data, CSIDL_APPDATA, TRUE));
    data_dir_ = std::string(app_data) + "\\" + sample::kUserDataFolderName;
    created_dir_ = CreateDirectoryA(data_dir_.c_str(), nullptr) != FALSE;
    report_file_ = data_dir_ + "\\submitconfig.ini";
    DeleteFileA(report_file_.c_str());
  }
  void TearDown() override {
    DeleteFileA(report_file_.c_str());
    if (created_dir_) RemoveDirectoryA(data_dir_.c_str());
  }

  void WriteReport(const std::string& install_path, const std::string& version) {
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "installPath", install_path.c_str(),
                                           report_file_.c_str()));
    ASSERT_TRUE(
        WritePrivateProfileStringA("CONFIG", "Version", version.c_str(), report_file_.c_str()));
  }

  // Starts the reporting program hidden from the install directory, as the
  // installer does, and returns its exit code and record.
  DWORD Run(const std::string& argument, sample::RecordFields* record) {
    const std::string exe = install_dir_ + "\\" + sample::kReportProgram;
    tn::ScopedHandle process =
        StartWithShow(Quoted(exe) + " " + argument, install_dir_, true, SW_HIDE);
    const DWORD code = WaitForExit(process, 10000);
    *record = record_.WaitFor(sample::kReportProgram, "start", 0);
    return code;
  }

  std::string data_dir_;
  std::string report_file_;
  bool created_dir_ = false;
};

TEST_F(ReportProgramTest, RecordsTheHandedOverFactsAndWhetherTheyAgree) {
  Install(sample::kReportProgram);
  WriteReport(install_dir_, sample::kProductVersion);
  sample::RecordFields record;
  EXPECT_EQ(0u, Run(std::string(sample::kProductVersion) + "_0", &record));
  EXPECT_EQ("1", FindField(record, "argument_count"));
  EXPECT_EQ("0.2.0.1726_0", FindField(record, "argument"));
  EXPECT_EQ(report_file_, FindField(record, "report_file"));
  EXPECT_EQ(install_dir_, FindField(record, "install_path"));
  EXPECT_EQ(sample::kProductVersion, FindField(record, "version"));
  EXPECT_EQ("1", FindField(record, "matches"));

  // An argument that does not belong to the version in the file.
  DeleteFileA(record_.path().c_str());
  EXPECT_EQ(1u, Run("0.2.0.1725_0", &record));
  EXPECT_EQ("0", FindField(record, "matches"));

  // An empty version (no DisplayVersion configured) pairs with "_0".
  WriteReport(install_dir_, "");
  DeleteFileA(record_.path().c_str());
  EXPECT_EQ(0u, Run("_0", &record));
  EXPECT_EQ("1", FindField(record, "matches"));
}

TEST_F(ReportProgramTest, MissingReportFileIsRecordedNotFatal) {
  Install(sample::kReportProgram);
  sample::RecordFields record;
  EXPECT_EQ(2u, Run("0.2.0.1726_0", &record));
  EXPECT_EQ("0", FindField(record, "report_found"));
  EXPECT_EQ("0", FindField(record, "matches"));
}

TEST_F(SampleProgramsTest, AutoRunProgramRunsOnceUntilAskedToStop) {
  const std::string exe = Install(sample::kAutoRunProgram);
  tn::ScopedHandle first = StartWithShow(Quoted(exe), install_dir_, false, 0);
  ASSERT_TRUE(first);
  const auto started = record_.WaitFor(sample::kAutoRunProgram, "start");
  ASSERT_FALSE(started.empty());
  EXPECT_EQ("first", FindField(started, "instance"));
  EXPECT_EQ(STILL_ACTIVE, WaitForExit(first, 500));

  tn::ScopedHandle second = StartWithShow(Quoted(exe), install_dir_, false, 0);
  EXPECT_EQ(0u, WaitForExit(second, 10000));
  int second_instances = 0;
  for (const auto& record : record_.Read()) {
    if (FindField(record, "instance") == "second") ++second_instances;
  }
  EXPECT_EQ(1, second_instances);
  EXPECT_EQ(STILL_ACTIVE, WaitForExit(first, 0));

  tn::ScopedHandle stop(OpenEventA(EVENT_MODIFY_STATE, FALSE, sample::kAutoRunStopEvent));
  ASSERT_TRUE(stop);
  SetEvent(stop.Get());
  EXPECT_EQ(0u, WaitForExit(first, 10000));
  EXPECT_FALSE(record_.WaitFor(sample::kAutoRunProgram, "stop", 0).empty());
}

TEST_F(SampleProgramsTest, HypervisorSetupStandInTakesItsConfiguredTime) {
  const std::string exe = Install(sample::kHypervisorSetupProgram);
  const std::string command_line = Quoted(exe) +
                                   " /s /pass /v/qn REBOOT=Suppress EULAS_AGREED=1 "
                                   "INSTALLDIR=\"C:\\Program Files (x86)\\VMware\" ADDLOCAL=ALL";
  const std::string delay_file = install_dir_ + "\\VMware14.delay";
  struct Case {
    const char* environment;  // nullptr: unset
    const char* file;         // nullptr: no file
    const char* expected_ms;
    const char* expected_source;
  } const kCases[] = {
      {"400", "50", "400", "environment"},
      {"12x", "250", "250", "file"},
      {nullptr, " 150\r\n", "150", "file"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "environment=" << (c.environment ? c.environment : "(unset)")
                                    << " file=" << (c.file ? c.file : "(none)"));
    DeleteFileA(record_.path().c_str());
    SetEnvironmentVariableA("TN_VMWARE_SETUP_MS", c.environment);
    DeleteFileA(delay_file.c_str());
    if (c.file) {
      ASSERT_TRUE(tn_test::WriteFileBytes(delay_file, c.file));
    }

    const DWORD begin = GetTickCount();
    tn::ScopedHandle process = StartWithShow(command_line, install_dir_, true, SW_HIDE);
    ASSERT_TRUE(process);
    EXPECT_EQ(0u, WaitForExit(process, 20000));
    const DWORD elapsed = GetTickCount() - begin;
    EXPECT_GE(elapsed + 20, static_cast<DWORD>(std::atoi(c.expected_ms)));

    const auto start = record_.WaitFor(sample::kHypervisorSetupProgram, "start", 0);
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(command_line, FindField(start, "command_line"));
    EXPECT_EQ(c.expected_ms, FindField(start, "delay_ms"));
    EXPECT_EQ(c.expected_source, FindField(start, "delay_source"));
    EXPECT_FALSE(record_.WaitFor(sample::kHypervisorSetupProgram, "finish", 0).empty());
  }
  SetEnvironmentVariableA("TN_VMWARE_SETUP_MS", nullptr);
}

}  // namespace
