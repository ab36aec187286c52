// The main window and its pages under Wine: real windows built from the
// shipped skin, driven by mouse messages at the controls' places.
#include "app/home_page.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "config/ini_info_manager.h"
#include "pages/custom_install.h"
#include "pages/install_dir.h"
#include "pages/install_success.h"
#include "pages/page_test_support.h"
#include "tests/support/test_support.h"
#include "util/process_util.h"

namespace {

void PumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  } while (GetTickCount() - start < milliseconds);
}

class HomePageTest : public SkinnedWindowTest {
 protected:
  void SetUp() override {
    SkinnedWindowTest::SetUp();
    if (HasFatalFailure()) return;
    config()->AddIniData("TARNIS_INFO", "RegeditKeyName", "ZEVodirodaz");
    config()->AddIniData("TARNIS_INFO", "DisplayIcon", "ZEVodirodaz.exe");
    config()->AddIniData("TARNIS_INFO", "DisplayName", "Tarnis模拟器");
    // No UninstallString: its copy must stay empty.
    config()->AddIniData("MIN_INSTALL_SPACE", "size_GB", "999999");
    home_ = new UI_HomePage();
    ASSERT_NE(home_->Create(nullptr, "TNInstall", 0x96CA0000, WS_EX_WINDOWEDGE), nullptr);
    hwnd_ = home_->GetHWND();
    home_->ShowWindow(true, true);
    PumpMessages(100);
  }

  void TearDown() override {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    delete home_;
    SkinnedWindowTest::TearDown();
  }

  // Names the pages share ("btn_install", "btn_close", "btn_mini") are
  // looked up in the page that is shown; the main window has its own.
  DuiLib::CControlUI* Find(const char* name) {
    DuiLib::CControlUI* page_root = nullptr;
    const int tab = CurrentTab();
    if (tab == 1 && home_->GetCustomInstallPage()) {
      page_root = home_->GetCustomInstallPage()->GetRoot();
    } else if (tab == 3 && home_->GetInstallSuccessPage()) {
      page_root = home_->GetInstallSuccessPage()->GetRoot();
    }
    return page_root ? page_root->FindByName(name) : home_->GetPaintManager().FindControl(name);
  }
  DuiLib::COptionUI* Option(const char* name) {
    DuiLib::CControlUI* control = Find(name);
    EXPECT_NE(control, nullptr) << name;
    return control ? static_cast<DuiLib::COptionUI*>(control) : &missing_option_;
  }

  // A real click in the middle of a control, through the window's messages.
  void Click(const char* name) {
    // Lay out what was switched to since the last paint.
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
    DuiLib::CControlUI* control = Find(name);
    ASSERT_NE(control, nullptr) << name;
    ASSERT_TRUE(control->IsVisible()) << name;
    const RECT& rc = control->GetPos();
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageA(hwnd_, WM_MOUSEMOVE, 0, at);
    SendMessageA(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(hwnd_, WM_LBUTTONUP, 0, at);
    PumpMessages(50);
  }

  int CurrentTab() {
    return static_cast<DuiLib::CTabLayoutUI*>(home_->GetPaintManager().FindControl("tab_control"))
        ->GetCurSel();
  }

  DuiLib::COptionUI missing_option_;
  UI_HomePage* home_ = nullptr;
  HWND hwnd_ = nullptr;
};

TEST_F(HomePageTest, OpensOnTheWelcomePageWithItsState) {
  EXPECT_EQ(CurrentTab(), 0);
  ASSERT_NE(Option("btn_checkbox"), nullptr);
  EXPECT_TRUE(Option("btn_checkbox")->IsSelected());
  EXPECT_FALSE(Find("re_read")->IsVisible());
  EXPECT_EQ(home_->GetInstallDir(), DefaultInstallDirectory());
  EXPECT_EQ(home_->GetDisplayIcon(), "ZEVodirodaz.exe");
  EXPECT_EQ(home_->GetDisplayName(), "Tarnis模拟器");
  EXPECT_EQ(home_->GetUninstallString(), "");
  EXPECT_FALSE(home_->GetWorkDir().empty());
  EXPECT_EQ(home_->GetInstallState().m_bDesktopShortcut, 1);
  EXPECT_EQ(home_->GetInstallState().m_bPinTaskbar, 1);
  EXPECT_EQ(home_->GetInstallState().m_bAutoRun, 1);
  EXPECT_EQ(home_->GetInstallState().m_nInstallFrom, 0);

  // The per-user data folder exists as soon as the window does.
  char app_data[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, app_data, CSIDL_APPDATA, FALSE));
  const DWORD attributes = GetFileAttributesA((std::string(app_data) + "\\ZEVodirodaz").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(HomePageTest, AgreementLinkTogglesTheAgreement) {
  Click("btn_protocol_text");
  EXPECT_TRUE(Find("re_read")->IsVisible());
  Click("btn_protocol_text");
  EXPECT_FALSE(Find("re_read")->IsVisible());
  Click("btn_checkbox");
  EXPECT_FALSE(Option("btn_checkbox")->IsSelected());
  // Cleared agreement: the link still works.
  Click("btn_protocol_text");
  EXPECT_TRUE(Find("re_read")->IsVisible());
}

TEST_F(HomePageTest, UnknownPageNameChangesNothing) {
  home_->ShowPage("UI_Nowhere");
  home_->ShowPage(nullptr);
  EXPECT_EQ(CurrentTab(), 0);
  EXPECT_EQ(home_->GetCustomInstallPage(), nullptr);
}

TEST_F(HomePageTest, OptionsPageIsCreatedOnceAndResetByReturn) {
  Click("btn_custom_install");
  EXPECT_EQ(CurrentTab(), 1);
  UI_CustomInstall* page = home_->GetCustomInstallPage();
  ASSERT_NE(page, nullptr);
  auto* container = static_cast<DuiLib::CContainerUI*>(
      home_->GetPaintManager().FindControl("Container_custom_install"));
  EXPECT_EQ(container->GetCount(), 1);
  ASSERT_NE(home_->GetPaintManager().FindControl("edit_path"), nullptr)
      << "the page's controls belong to the main window now";

  // Change everything the return button resets.
  Click("btn_cb_shortcut");
  Click("btn_cb_Launchbar");
  EXPECT_FALSE(Option("btn_cb_shortcut")->IsSelected());
  page->ApplyChosenFolder("C:\\Games");
  EXPECT_EQ(home_->GetInstallDir(), "C:\\Games\\ZEVodirodaz");
  EXPECT_EQ(std::string(Find("edit_path")->GetText()), "C:\\Games\\ZEVodirodaz");
  page->SetInfoText("x");

  Click("btn_return");
  EXPECT_EQ(CurrentTab(), 0);
  Click("btn_custom_install");
  EXPECT_EQ(CurrentTab(), 1);
  EXPECT_EQ(home_->GetCustomInstallPage(), page) << "reused, not created again";
  EXPECT_EQ(container->GetCount(), 1) << "not added a second time";
  EXPECT_TRUE(Option("btn_cb_shortcut")->IsSelected());
  EXPECT_TRUE(Option("btn_cb_Launchbar")->IsSelected());
  EXPECT_TRUE(Option("btn_cb_autorun")->IsSelected());
  EXPECT_EQ(home_->GetInstallDir(), DefaultInstallDirectory());
  EXPECT_EQ(std::string(Find("edit_path")->GetText()), DefaultInstallDirectory());
  EXPECT_EQ(std::string(Find("l_info")->GetText()), "");
}

TEST_F(HomePageTest, EditFieldShowsTheDefaultOnlyWithoutWow64) {
  Click("btn_custom_install");
  const std::string shown = Find("edit_path")->GetText().GetData();
  EXPECT_EQ(shown, IsCurrentProcessWow64() ? "" : "C:\\Program Files\\ZEVodirodaz");
}

TEST_F(HomePageTest, OptionsInstallStoresTheChoicesAndAppliesTheRules) {
  Click("btn_custom_install");
  Click("btn_cb_shortcut");
  Click("btn_cb_Launchbar");
  Click("btn_cb_autorun");

  // A Chinese folder: the path message, nothing started; again on every click.
  home_->GetCustomInstallPage()->ApplyChosenFolder("C:\\安装");
  Click("btn_install");
  EXPECT_EQ(home_->GetInstallState().m_bDesktopShortcut, 0);
  EXPECT_EQ(home_->GetInstallState().m_bPinTaskbar, 0);
  EXPECT_EQ(home_->GetInstallState().m_bAutoRun, 0);
  EXPECT_EQ(home_->GetInstallState().m_nInstallFrom, 2);
  EXPECT_EQ(std::string(Find("l_info")->GetText()), kChinesePathText);
  Find("l_info")->SetText("");
  Click("btn_install");
  EXPECT_EQ(std::string(Find("l_info")->GetText()), kChinesePathText);
  EXPECT_EQ(CurrentTab(), 1);

  // An ASCII folder: the 999999 GB minimum fails, the page stays.
  home_->GetCustomInstallPage()->ApplyChosenFolder("C:\\");
  Click("btn_install");
  EXPECT_EQ(std::string(Find("l_info")->GetText()), "安装路径所在磁盘空间不足,最低需999999GB空间!");
  EXPECT_EQ(CurrentTab(), 1);
  EXPECT_FALSE(home_->IsInstallStarted());

  // The browse button clears the message before the dialog opens; the
  // dialog itself is covered end to end.
}

TEST_F(HomePageTest, WelcomeInstallWithoutSpaceShowsTheOptionsPage) {
  Click("btn_install");
  EXPECT_EQ(home_->GetInstallState().m_nInstallFrom, 1);
  EXPECT_EQ(CurrentTab(), 1);
  ASSERT_NE(home_->GetCustomInstallPage(), nullptr);
  EXPECT_EQ(std::string(Find("l_info")->GetText()), "安装路径所在磁盘空间不足,最低需999999GB空间!");
  // Return and install from the welcome page again: choices are all 1.
  Click("btn_cb_autorun");
  Click("btn_return");
  Click("btn_install");
  EXPECT_EQ(home_->GetInstallState().m_bAutoRun, 1);
  EXPECT_EQ(home_->GetInstallState().m_nInstallFrom, 1);
}

TEST_F(HomePageTest, FinishPageStartsTheProductFromTheChosenDirectory) {
  tn_test::ScopedTempDir dir;
  ASSERT_TRUE(CopyFileA(tn_test::BuildPath("tn_idle.exe").c_str(),
                        dir.Join("ZEVodirodaz.exe").c_str(), FALSE));
  home_->SetInstallDir(dir.path());
  home_->ShowPage(kPageInstallSuccess);
  EXPECT_EQ(CurrentTab(), 3);
  ASSERT_NE(home_->GetInstallSuccessPage(), nullptr);
  Click("btn_Open");
  bool started = false;
  for (int i = 0; i < 50 && !started; ++i, Sleep(100))
    started = IsProcessRunning("ZEVodirodaz.exe");
  EXPECT_TRUE(started);
  PumpMessages(200);
  EXPECT_FALSE(IsWindow(hwnd_)) << "the installer closes";
  TerminateProcessesByName("ZEVodirodaz.exe");
}

TEST_F(HomePageTest, MinimiseButtonsOfEveryPageKeepThePage) {
  Click("btn_mini");
  EXPECT_TRUE(IsIconic(hwnd_));
  ShowWindow(hwnd_, SW_RESTORE);
  PumpMessages(50);
  ASSERT_FALSE(IsIconic(hwnd_));
  Click("btn_custom_install");
  Click("btn_mini");
  EXPECT_TRUE(IsIconic(hwnd_));
  ShowWindow(hwnd_, SW_RESTORE);
  PumpMessages(50);
  home_->ShowPage(kPageInstallSuccess);
  Click("btn_mini");
  EXPECT_TRUE(IsIconic(hwnd_));
  ShowWindow(hwnd_, SW_RESTORE);
  PumpMessages(50);
  EXPECT_EQ(CurrentTab(), 3);
  EXPECT_TRUE(IsWindow(hwnd_));
}

TEST_F(HomePageTest, FinishPageWithAMissingProgramClosesSilently) {
  tn_test::ScopedTempDir dir;
  home_->SetInstallDir(dir.path());
  home_->ShowPage(kPageInstallSuccess);
  Click("btn_Open");
  PumpMessages(300);
  EXPECT_FALSE(IsWindow(hwnd_));
  // No message box of ours or of the shell was left behind.
  EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
}

}  // namespace
