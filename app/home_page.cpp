#include "app/home_page.h"

#include <windows.h>

#include <cstdio>

#include "actions/install_report.h"
#include "actions/previous_install.h"
#include "actions/uninstall_entry.h"
#include "config/ini_info_manager.h"
#include "config/work_dir.h"
#include "hypervisor/hypervisor_setup.h"
#include "pages/custom_install.h"
#include "pages/disk_space.h"
#include "pages/install_dir.h"
#include "pages/install_success.h"
#include "pages/installing.h"
#include "pages/setup_texts.h"
#include "util/file_util.h"

const char kAgreementRequiredText[] = "请选择同意《Tarnis服务协议》！";
const char kDiskSpaceTextFormat[] = "安装路径所在磁盘空间不足,最低需%dGB空间!";

namespace {

// WS_POPUP | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN: the
// page windows are hidden right after creation; only their controls move.
const DWORD kPageWindowStyle = 0xD6000000;
// How long a close during the extraction waits for the worker to finish
// its current item.
const DWORD kStopExtractionTimeoutMs = 10000;
// How long the closing installer waits for the earlier installation's
// backups to be deleted; what is left then goes at the next start.
const DWORD kCleanupTimeoutMs = 120000;
// How often a long removal lets the window paint.
const DWORD kPaintIntervalMs = 50;

template <typename Page>
Page* CreateHiddenPage(UI_HomePage* home, const char* title) {
  Page* page = new Page();
  page->Create(home->GetHWND(), title, kPageWindowStyle, WS_EX_WINDOWEDGE);
  page->SetHost(home);
  page->ShowWindow(false);
  return page;
}

// Moves a page's control tree into its tab, unless the tab already holds one.
void PlacePageRoot(DuiLib::CControlUI* root, DuiLib::CContainerUI* container) {
  if (root && container && container->GetCount() == 0) container->Add(root);
}

}  // namespace

UI_HomePage::UI_HomePage() = default;

UI_HomePage::~UI_HomePage() {
  EndUnfinishedInstallation();
  if (!journal_.WaitForCleanup(kCleanupTimeoutMs)) {
    OutputDebugStringA("旧版本备份尚未删除完毕，下次启动时继续\n");
  }
  CIniInfoManager::GetInstance()->ClearAll();
  RemoveWorkDir();
}

LRESULT UI_HomePage::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  const LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result != 0) return result;
  FindControls();
  // An installer that was ended in the middle of an installation left its
  // journal: put the earlier installation back (or finish the completed
  // one) before anything else.
  static_cast<void>(CInstallJournal::RecoverInterruptedInstallation());
  state_.m_strWorkDir = PrepareWorkDir();
  ReadUninstallValues();
  SetDefaultInstallDir();
  static_cast<void>(EnsureUserDataFolder());
  return 0;
}

LRESULT UI_HomePage::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  EndUnfinishedInstallation();
  DestroyWindow(m_hWnd);
  bHandled = TRUE;
  return 0;
}

void UI_HomePage::FindControls() {
  tab_control_ = wiring_.Find<DuiLib::CTabLayoutUI>("tab_control");
  welcome_content_ = wiring_.Find<DuiLib::CControlUI>("topControl");
  custom_install_container_ = wiring_.Find<DuiLib::CContainerUI>("Container_custom_install");
  installing_container_ = wiring_.Find<DuiLib::CContainerUI>("Container_installing");
  install_success_container_ = wiring_.Find<DuiLib::CContainerUI>("Container_install_success");
  agreement_checkbox_ = wiring_.Find<DuiLib::COptionUI>("btn_checkbox");
  agreement_text_ = wiring_.Find<DuiLib::CControlUI>("re_read");
  const auto host = [this] { return static_cast<PageHost*>(this); };
  wiring_.OnMinimize(host);
  wiring_.OnConfirmedClose(host);
  wiring_.OnClick<DuiLib::CButtonUI>("btn_custom_install", [this] {
    if (!IsAgreed()) return;
    ShowPage(kPageCustomInstall);
  });
  wiring_.OnClick<DuiLib::CButtonUI>("btn_protocol_text", [this] {
    if (agreement_text_) agreement_text_->SetVisible(!agreement_text_->IsVisible());
  });
  wiring_.OnClick<DuiLib::CButtonUI>("btn_install", [this] {
    SetInstallFrom(kInstallFromWelcomePage);
    if (IsAgreed()) StartInstall();
  });
}

bool UI_HomePage::IsAgreed() {
  if (agreement_checkbox_ && agreement_checkbox_->IsSelected()) return true;
  MessageBoxA(m_hWnd, kAgreementRequiredText, kSetupCaption, MB_OK);
  return false;
}

void UI_HomePage::ReadUninstallValues() {
  // A key missing from the configuration leaves its string empty.
  struct {
    const char* key;
    std::string* value;
  } const entries[] = {
      {"RegeditKeyName", &state_.m_strRegKeyName},
      {"DisplayIcon", &state_.m_strDisplayIcon},
      {"DisplayName", &state_.m_strDisplayName},
      {"UninstallString", &state_.m_strUninstallString},
  };
  for (const auto& entry : entries) {
    CIniInfoData record;
    CIniInfoManager::GetInstance()->GetDataByKey(entry.key, &record);
    *entry.value = record.m_strValue;
  }
}

void UI_HomePage::SetDefaultInstallDir() { SetInstallDir(DefaultInstallDirectory()); }

void UI_HomePage::SetInstallDir(const std::string& directory) {
  // Once the installation has started, the directory is the one the
  // extraction, the journal and the completion were given.
  if (!IsInstallStarted()) state_.m_strInstallDir = directory;
}

void UI_HomePage::SetChoices(int desktop_shortcut, int pin_taskbar, int auto_run) {
  if (IsInstallStarted()) return;
  state_.m_bDesktopShortcut = desktop_shortcut;
  state_.m_bPinTaskbar = pin_taskbar;
  state_.m_bAutoRun = auto_run;
}

void UI_HomePage::SetInstallFrom(int install_from) {
  if (!IsInstallStarted()) state_.m_nInstallFrom = install_from;
}

void UI_HomePage::ShowPage(const char* page_name) {
  if (!page_name) return;
  const std::string name = page_name;
  int tab = -1;
  const char* background = nullptr;
  DuiLib::CControlUI* root = nullptr;
  DuiLib::CContainerUI* container = nullptr;

  if (name == kPageHome) {
    tab = 0;
    background = "image\\bg_install_step1.bmp";
  } else if (name == kPageCustomInstall) {
    if (!custom_install_page_) {
      custom_install_page_ = CreateHiddenPage<UI_CustomInstall>(this, kPageCustomInstall);
    }
    tab = 1;
    background = "image\\bg_install_step2.bmp";
    root = custom_install_page_->GetRoot();
    container = custom_install_container_;
  } else if (name == kPageInstalling) {
    // A page left behind by an earlier switch keeps its (hidden) window and
    // its tree; the container keeps showing the first tree.
    installing_page_ = CreateHiddenPage<UI_Installing>(this, kPageInstalling);
    if (installing_page_->GetHWND()) {
      SetTimer(installing_page_->GetHWND(), TIMER_LOADING_PICTURE, 2000, nullptr);
    }
    tab = 2;
    background = "image\\bg_install_step1.bmp";
    root = installing_page_->GetRoot();
    container = installing_container_;
  } else if (name == kPageInstallSuccess) {
    install_success_page_ = CreateHiddenPage<UI_InstallSuccess>(this, kPageInstallSuccess);
    tab = 3;
    background = "image\\bg_install_success.bmp";
    root = install_success_page_->GetRoot();
    container = install_success_container_;
  } else {
    return;
  }

  if (welcome_content_) welcome_content_->SetBkImage(background);
  PlacePageRoot(root, container);
  if (tab_control_) tab_control_->SelectItem(tab, true);
}

void UI_HomePage::StartInstall() {
  int required_gb = 0;
  if (!CheckDiskSpace(GetInstallDir(), &required_gb)) {
    if (state_.m_nInstallFrom == kInstallFromWelcomePage) ShowPage(kPageCustomInstall);
    if (custom_install_page_) {
      char text[260];
      snprintf(text, sizeof(text), kDiskSpaceTextFormat, required_gb);
      custom_install_page_->SetInfoText(text);
    }
    return;
  }
  ShowPage(kPageInstalling);
  // The steps below keep this thread busy for a while (pauses, removals);
  // show the installing page first instead of the pressed button.
  ::UpdateWindow(m_hWnd);
  // The sequence's pauses and long steps keep the window painted.
  const KeepAlive keep_alive = [this] { KeepWindowPainted(); };
  TerminateConfiguredProcesses(keep_alive);
  TerminateHypervisorProcesses(keep_alive);
  state_.m_strOldInstallDir = FindPreviousInstallDirectory(state_.m_strRegKeyName);
  // Nothing of the earlier installation is deleted before the new one is
  // registered: it is moved aside, journalled, and put back if this one
  // fails, is cancelled or is ended.
  journal_.Begin();
  const bool room_made = RemovePreviousInstallation(state_, &journal_, keep_alive) &&
                         journal_.PrepareDirectory(state_.m_strInstallDir);
  if (!room_made) {
    installing_page_->ReportFailureBeforeExtraction();
    return;
  }
  PauseKeepingAlive(300, keep_alive);
  installing_page_->StartExtraction();
}

void UI_HomePage::RollBackInstallation() {
  journal_.RollBack([this] { KeepWindowPainted(); });
}

void UI_HomePage::EndUnfinishedInstallation() {
  const bool stopped =
      !installing_page_ || installing_page_->StopExtraction(kStopExtractionTimeoutMs);
  if (journal_.IsActive() && !journal_.IsCommitted()) {
    if (stopped) {
      journal_.RollBack();
    } else {
      OutputDebugStringA("解压线程未能停止，留待下次启动时恢复\n");
    }
  }
}

void UI_HomePage::KeepWindowPainted() {
  const DWORD now = GetTickCount();
  if (now - last_painted_ < kPaintIntervalMs) return;
  last_painted_ = now;
  // Timers and painting only: what the user clicks or types waits until the
  // sequence is over, so that nothing can close the window in its middle.
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) DispatchMessageA(&message);
  while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
}
