#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "hypervisor/hypervisor_detection.h"
#include "hypervisor/hypervisor_setup.h"
#include "sample/launch_record.h"
#include "tests/support/test_support.h"
#include "util/scoped_handle.h"

namespace {

constexpr char kAppPathsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vmware.exe";
constexpr char kVersionKey[] = "SOFTWARE\\Wow6432Node\\VMware, Inc.\\VMware Workstation";

// The keys live in the test prefix's 64-bit view, where an installed
// hypervisor leaves them.
class HypervisorDetectionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, KEY_WOW64_64KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, KEY_WOW64_64KEY, 0);
  }
  static void CreateKey(const char* subkey, tn::ScopedRegKey* key) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key->Receive(), nullptr));
  }
  static void SetVersion(DWORD type, const std::string& bytes) {
    tn::ScopedRegKey key;
    CreateKey(kVersionKey, &key);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "ProductVersion", 0, type,
                                            reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
  }
  static void RegisterAppPath() {
    tn::ScopedRegKey key;
    CreateKey(kAppPathsKey, &key);
  }
};

TEST_F(HypervisorDetectionTest, OnlyWorkstation14MakesTheSetupUnneeded) {
  EXPECT_TRUE(IsHypervisorSetupNeeded()) << "nothing installed";
  SetVersion(REG_SZ, std::string("14.1.1") + '\0');
  EXPECT_TRUE(IsHypervisorSetupNeeded()) << "a version without the App Paths key";
  RegisterAppPath();
  EXPECT_FALSE(IsHypervisorSetupNeeded());
  const struct {
    DWORD type;
    std::string bytes;
    int major;
  } cases[] = {
      {REG_SZ, std::string("12.5.9") + '\0', 12},
      {REG_SZ, std::string("15.0.0") + '\0', 15},
      {REG_SZ, std::string("14") + '\0', 14},
      {REG_SZ, std::string(" 14.0") + '\0', 14},
      {REG_EXPAND_SZ, std::string("14.1") + '\0', 14},
      {REG_SZ, std::string("x14.0") + '\0', 0},
      {REG_SZ, std::string(".14") + '\0', 0},
      {REG_SZ, std::string("", 0), 0},
      {REG_DWORD, std::string("\x0E\x00\x00\x00", 4), 0},
      {REG_SZ, std::string(1100, '1') + '\0', 0},  // larger than the 1024-byte buffer
  };
  for (const auto& c : cases) {
    SetVersion(c.type, c.bytes);
    EXPECT_EQ(c.major, GetHypervisorMajorVersion()) << c.bytes.substr(0, 20);
    EXPECT_EQ(c.major != kRequiredHypervisorMajorVersion, IsHypervisorSetupNeeded())
        << c.bytes.substr(0, 20);
  }
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, KEY_WOW64_64KEY, 0);
  EXPECT_EQ(0, GetHypervisorMajorVersion());
  EXPECT_TRUE(IsHypervisorSetupNeeded());
}

TEST_F(HypervisorDetectionTest, ReadsTheSixtyFourBitView) {
  EXPECT_EQ(static_cast<unsigned long>(KEY_READ | KEY_WOW64_64KEY), HypervisorKeyAccess());
}

TEST(ParseMajorVersionTest, LeadingDecimal) {
  EXPECT_EQ(14, ParseMajorVersion("14"));
  EXPECT_EQ(14, ParseMajorVersion(" \t14"));
  EXPECT_EQ(-3, ParseMajorVersion("-3"));
  EXPECT_EQ(7, ParseMajorVersion("+7x"));
  EXPECT_EQ(0, ParseMajorVersion("v14"));
  EXPECT_EQ(0, ParseMajorVersion(""));
}

TEST(QuoteDirectoryForCmdTest, QuotesWhatTheInterpreterWouldSplitOrExpand) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {R"q(C:\Program Files\ZEVodirodaz)q", R"q(C:\"Program Files"\ZEVodirodaz)q"},
      {R"q(C:\Program Files (x86)\ZEVodirodaz)q", R"q(C:\"Program Files (x86)"\ZEVodirodaz)q"},
      {R"q(D:\Apps\ZEVodirodaz)q", R"q(D:\Apps\ZEVodirodaz)q"},
      {R"q(C:\)q", R"q(C:\)q"},
      {R"q(C:\a&b\c)q", R"q(C:\"a&b"\c)q"},
      {R"q(C:\x^y\(z)\!w!)q", R"q(C:\"x^y"\"(z)"\"!w!")q"},
      {R"q(C:\50%off)q", R"q(C:\"50%%off")q"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.out, QuoteDirectoryForCmd(c.in)) << c.in;
}

TEST(HypervisorBatchTest, TwoLinesWithTheExactCommand) {
  EXPECT_EQ(R"q(C:\"Program Files (x86)"\ZEVodirodaz\VMware14.exe /s /pass /v/qn REBOOT=Suppress )q"
            R"q(EULAS_AGREED=1 INSTALLDIR="C:\Program Files (x86)\VMware" ADDLOCAL=ALL)q"
            "\r\nexit\r\n",
            HypervisorBatchText(QuoteDirectoryForCmd("C:\\Program Files (x86)\\ZEVodirodaz")));
}

// The message the setup's worker is asked to post when it is done.
constexpr UINT kDoneMessage = WM_APP + 7;

// A window that counts kDoneMessage.
class MessageCatcher {
 public:
  MessageCatcher() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = &MessageCatcher::Procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "TnHypervisorCatcher";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(0, "TnHypervisorCatcher", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              window_class.hInstance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~MessageCatcher() { DestroyWindow(window_); }
  HWND window() const { return window_; }
  int count() const { return count_; }
  bool WaitForMessage(DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    while (count_ == 0 && GetTickCount() - start < timeout_ms) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      Sleep(20);
    }
    return count_ > 0;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<MessageCatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == kDoneMessage && w == 0 && l == 0) ++self->count_;
    return DefWindowProcA(window, message, w, l);
  }
  HWND window_ = nullptr;
  int count_ = 0;
};

class HypervisorSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record_ = dir_.Join("record.log");
    SetEnvironmentVariableA("TN_SAMPLE_RECORD", record_.c_str());
    SetEnvironmentVariableA("TN_VMWARE_SETUP_MS", "300");
    // The interpreter runs in the installer's current folder; anything a
    // broken command line ran would show up there.
    GetCurrentDirectoryA(MAX_PATH, saved_directory_);
    working_ = dir_.Join("cwd");
    CreateDirectoryA(working_.c_str(), nullptr);
    SetCurrentDirectoryA(working_.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryA(saved_directory_);
    SetEnvironmentVariableA("TN_SAMPLE_RECORD", nullptr);
    SetEnvironmentVariableA("TN_VMWARE_SETUP_MS", nullptr);
  }
  std::string MakeInstallDir(const std::string& name) {
    const std::string directory = dir_.Join(name);
    EXPECT_TRUE(CreateDirectoryA(directory.c_str(), nullptr)) << name;
    EXPECT_TRUE(CopyFileA(tn_test::BuildPath("sample\\product\\VMware14.exe").c_str(),
                          (directory + "\\VMware14.exe").c_str(), FALSE));
    return directory;
  }
  std::vector<sample::RecordFields> Records() {
    std::vector<sample::RecordFields> records;
    const std::string text = tn_test::ReadFileBytes(record_);
    for (size_t start = 0; start < text.size();) {
      const size_t end = text.find("\r\n", start);
      if (end == std::string::npos) break;
      records.push_back(sample::ParseRecordLine(text.substr(start, end - start)));
      start = end + 2;
    }
    return records;
  }
  // Runs the whole setup for |install_dir| and checks what every run must
  // give: one hidden start of the setup with the switches, one message, and
  // the batch file left for the page to remove.
  void RunSetup(const std::string& install_dir) {
    MessageCatcher catcher;
    ASSERT_TRUE(StartHypervisorSetup(catcher.window(), kDoneMessage, install_dir));
    ASSERT_TRUE(catcher.WaitForMessage(60000)) << "no done message";
    Sleep(100);
    EXPECT_EQ(1, catcher.count());
    const auto records = Records();
    ASSERT_EQ(2u, records.size()) << "the setup should start and finish once";
    const std::string command = sample::FindField(records[0], "command_line");
    EXPECT_NE(std::string::npos, command.find(kHypervisorSetupSwitches)) << command;
    EXPECT_EQ("finish", sample::FindField(records[1], "event"));
    EXPECT_EQ(HypervisorBatchText(QuoteDirectoryForCmd(install_dir)),
              tn_test::ReadFileBytes(install_dir + "\\Vmware.bat"));
    RemoveHypervisorSetupFiles(install_dir);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((install_dir + "\\Vmware.bat").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA((install_dir + "\\VMware14.exe").c_str()));
    // Nothing but the setup ran: no stray folder or file in the working folder.
    WIN32_FIND_DATAA data;
    tn::ScopedFindHandle find(FindFirstFileA((working_ + "\\*").c_str(), &data));
    int entries = 0;
    if (find) {
      do {
        if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0) ++entries;
      } while (FindNextFileA(find.Get(), &data));
    }
    EXPECT_EQ(0, entries) << "something else ran in " << working_;
    DeleteFileA(record_.c_str());
  }

  tn_test::ScopedTempDir dir_;
  std::string record_;
  std::string working_;
  char saved_directory_[MAX_PATH] = {};
};

TEST_F(HypervisorSetupTest, RunsTheSetupHiddenThroughTheBatchFile) {
  const std::string install_dir = MakeInstallDir("Program Files (x86)");
  // A planted, read-only batch file is replaced, not run.
  tn_test::WriteFileBytes(install_dir + "\\Vmware.bat", "mkdir planted\r\n");
  SetFileAttributesA((install_dir + "\\Vmware.bat").c_str(), FILE_ATTRIBUTE_READONLY);
  RunSetup(install_dir);
}

TEST_F(HypervisorSetupTest, SpecialCharactersInTheDirectoryRunNothingElse) {
  RunSetup(MakeInstallDir("a & mkdir pwned & (b) 50%PATH% !x!"));
}

TEST_F(HypervisorSetupTest, AnUnwritableBatchFileStillEndsTheWait) {
  MessageCatcher catcher;
  ASSERT_TRUE(StartHypervisorSetup(catcher.window(), kDoneMessage, dir_.Join("missing\\deeper")));
  EXPECT_TRUE(catcher.WaitForMessage(30000));
  EXPECT_TRUE(Records().empty()) << "nothing ran";
}

TEST_F(HypervisorSetupTest, ProcessesEndedAtStartAndBeforeTheSetup) {
  tn::ScopedHandle vmx = tn_test::StartIdleProgramAs(dir_.path(), "vmware-vmx.exe");
  tn::ScopedHandle player = tn_test::StartIdleProgramAs(dir_.path(), "vmplayer.exe");
  ASSERT_TRUE(vmx && player);
  MessageCatcher catcher;
  ASSERT_TRUE(StartHypervisorSetup(catcher.window(), kDoneMessage, dir_.Join("missing")));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(vmx.Get(), 5000));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(player.Get(), 0))
      << "the player is left alone before the setup";
  catcher.WaitForMessage(30000);
  TerminateHypervisorProcesses();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(player.Get(), 5000));
}

}  // namespace
