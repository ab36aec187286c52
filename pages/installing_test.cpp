// The installing page driven by a test host instead of the main window: the
// worker's messages and the timers, as the page receives them.
#include "pages/installing.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "actions/uninstall_entry.h"
#include "config/ini_info_manager.h"
#include "pages/page_host.h"
#include "pages/setup_texts.h"
#include "payload/install_messages.h"
#include "pages/page_test_support.h"
#include "tests/support/test_support.h"

namespace {

class TestHost : public PageHost {
 public:
  const InstallState& GetInstallState() const override { return state; }
  void SetInstallDir(const std::string& directory) override { state.m_strInstallDir = directory; }
  void SetDefaultInstallDir() override {}
  void SetChoices(int desktop, int pin, int auto_run) override {
    state.m_bDesktopShortcut = desktop;
    state.m_bPinTaskbar = pin;
    state.m_bAutoRun = auto_run;
  }
  void ShowPage(const char* page_name) override { pages_shown.push_back(page_name); }
  void SetInstallFrom(int install_from) override { state.m_nInstallFrom = install_from; }
  void StartInstall() override {}
  bool IsInstallStarted() const override { return true; }
  void CommitInstallation() override { ++commits; }
  void RollBackInstallation() override {
    ++rollbacks;
    box_up_at_rollback = box_up_at_rollback || FindWindowA("#32770", kSetupCaption) != nullptr;
  }
  void CloseInstaller() override { ++closes; }
  HWND GetHostWindow() const override { return nullptr; }

  InstallState state;
  std::vector<std::string> pages_shown;
  int closes = 0;
  int commits = 0;
  int rollbacks = 0;
  bool box_up_at_rollback = false;
};

class InstallingPageTest : public SkinnedWindowTest {
 protected:
  void SetUp() override {
    SkinnedWindowTest::SetUp();
    if (HasFatalFailure()) return;
    config()->AddIniData("TARNIS_INFO", "DisplayName", "Tarnis模拟器");
    config()->AddIniData("TARNIS_INFO", "DisplayIcon", "ZEVodirodaz.exe");
    host_.state.m_strRegKeyName = "TnInstallingPageTest";
    host_.state.m_strInstallDir = dir_.Join("product");
    host_.state.m_strDisplayIcon = "ZEVodirodaz.exe";
    host_.state.m_strUninstallString = "uninstall.exe";
    host_.state.m_strWorkDir = dir_.Join("work");
    host_.SetChoices(0, 0, 0);
    CreateDirectoryA(host_.state.m_strInstallDir.c_str(), nullptr);
    page_ = new UI_Installing();
    ASSERT_NE(page_->Create(nullptr, "UI_Installing", 0x96CA0000, 0), nullptr);
    page_->SetHost(&host_);
  }

  void TearDown() override {
    if (IsWindow(page_->GetHWND())) DestroyWindow(page_->GetHWND());
    delete page_;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                  (std::string(kUninstallKeyBranch) + host_.state.m_strRegKeyName).c_str());
    SkinnedWindowTest::TearDown();
  }

  void Send(UINT message, WPARAM w) { SendMessageA(page_->GetHWND(), message, w, 0); }
  DuiLib::CControlUI* Find(const char* name) { return page_->GetRoot()->FindByName(name); }
  std::string Text(const char* name) { return std::string(Find(name)->GetText()); }

  tn_test::ScopedTempDir dir_;
  TestHost host_;
  UI_Installing* page_ = nullptr;
};

TEST_F(InstallingPageTest, ProgressRunsTheCompletionOnceAtTheFirstHundred) {
  Send(WM_INSTALL_PROGRESS, 0);
  EXPECT_EQ("0%", Text("l_percent"));
  Send(WM_INSTALL_PROGRESS, 57);
  EXPECT_EQ("57%", Text("l_percent"));
  EXPECT_EQ(57, static_cast<DuiLib::CProgressUI*>(Find("p_progress"))->GetValue());
  EXPECT_TRUE(host_.pages_shown.empty());
  Send(WM_INSTALL_PROGRESS, 100);
  Send(WM_INSTALL_PROGRESS, 100);
  EXPECT_EQ("100%", Text("l_percent"));
  ASSERT_EQ(1u, host_.pages_shown.size()) << "the completion ran more than once";
  EXPECT_EQ(1, host_.commits) << "the registered installation lets the earlier one go, once";
  EXPECT_EQ(0, host_.rollbacks);
  EXPECT_EQ(kPageInstallSuccess, host_.pages_shown[0]);
  // The registration named the product for the links, and the Chinese name
  // from the configuration reached the disk as its characters.
  EXPECT_EQ("Tarnis模拟器", page_->GetDisplayName());
  wchar_t start_menu[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, start_menu, CSIDL_PROGRAMS, FALSE));
  const std::wstring folder = std::wstring(start_menu) + L"\\ZEVodirodaz\\";
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((folder + L"Tarnis\u6A21\u62DF\u5668.lnk").c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((folder + L"\u5378\u8F7DTarnis\u6A21\u62DF\u5668.lnk").c_str()));
  // No setup program in the product: the hypervisor step is passed over.
  EXPECT_EQ("正在安装...", Text("l_installing"));
}

TEST_F(InstallingPageTest, PicturesAndHypervisorStatusTurnWithTheirTimers) {
  const char* const pictures[] = {"image\\loading_pic2.bmp", "image\\loading_pic3.bmp",
                                  "image\\loading_pic1.bmp", "image\\loading_pic2.bmp"};
  for (const char* picture : pictures) {
    Send(WM_TIMER, TIMER_LOADING_PICTURE);
    EXPECT_EQ(picture, std::string(Find("l_loading")->GetBkImage()));
  }
  const char* const texts[] = {"正在安装VMware ", "正在安装VMware.", "正在安装VMware..",
                               "正在安装VMware...", "正在安装VMware "};
  for (const char* text : texts) {
    Send(WM_TIMER, TIMER_HYPERVISOR_TEXT);
    EXPECT_EQ(text, Text("l_installing"));
  }
  Send(WM_TIMER, 99);  // other timers change nothing
  EXPECT_EQ("正在安装VMware ", Text("l_installing"));
}

TEST_F(InstallingPageTest, HypervisorDoneRemovesTheSetupAndShowsTheFinishPage) {
  const std::string setup = host_.state.m_strInstallDir + "\\VMware14.exe";
  const std::string batch = host_.state.m_strInstallDir + "\\Vmware.bat";
  tn_test::WriteFileBytes(setup, "setup");
  tn_test::WriteFileBytes(batch, "exit\r\n");
  Send(WM_HYPERVISOR_INSTALLED, 0);
  EXPECT_EQ("VMware完成安装", Text("l_installing"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(setup.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str()));
  ASSERT_EQ(1u, host_.pages_shown.size());
  EXPECT_EQ(kPageInstallSuccess, host_.pages_shown[0]);
}

// The failure box is modal: a second thread reads it and presses OK.
std::string AnswerFailureBox(const std::function<void()>& trigger) {
  std::string text;
  std::atomic<bool> done(false);
  std::thread answer([&] {
    for (int i = 0; i < 400 && !done; ++i) {
      HWND box = FindWindowA("#32770", kSetupCaption);
      if (box) {
        char buffer[1024] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof(buffer));
        text = buffer;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(25);
    }
  });
  trigger();
  done = true;
  answer.join();
  return text;
}

TEST_F(InstallingPageTest, FailuresShowTheirLineThenCloseTheInstaller) {
  EXPECT_EQ("打开安装压缩包失败!\n安装模拟器失败，程序退出!", AnswerFailureBox([&] {
              Send(WM_EXTRACT_FAILED, ExtractResultParameter(tn::ExtractResult::kOpenFileFailed));
            }));
  EXPECT_EQ(1, host_.closes);
  // The earlier installation is back before the user reads of the failure.
  EXPECT_EQ(1, host_.rollbacks);
  EXPECT_FALSE(host_.box_up_at_rollback);
  EXPECT_EQ(0, host_.commits);
  // A value that is no result of an extraction still ends the installer.
  EXPECT_EQ("\n安装模拟器失败，程序退出!",
            AnswerFailureBox([&] { Send(WM_EXTRACT_FAILED, static_cast<WPARAM>(-7)); }));
  EXPECT_EQ(2, host_.closes);
  EXPECT_EQ("安装过程中出错!", std::string(ExtractionFailureText(tn::ExtractResult::kFailed)));
  EXPECT_EQ("", std::string(ExtractionFailureText(tn::ExtractResult::kSucceeded)));
}

}  // namespace
