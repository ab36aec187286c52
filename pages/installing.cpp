#include "pages/installing.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "actions/install_report.h"
#include "actions/shortcuts.h"
#include "actions/uninstall_entry.h"
#include "config/work_dir.h"
#include "hypervisor/hypervisor_detection.h"
#include "hypervisor/hypervisor_setup.h"
#include "pages/page_host.h"
#include "pages/setup_texts.h"
#include "payload/archive_manager.h"
#include "payload/extraction_worker.h"
#include "payload/install_messages.h"
#include "util/file_util.h"
#include "util/windows_version.h"

const char kInstallFailedText[] = "安装模拟器失败，程序退出!";
const char kHypervisorInstallingText[] = "正在安装VMware";
const char kHypervisorInstalledText[] = "VMware完成安装";
const char kUninstallLinkPrefix[] = "卸载";

namespace {

constexpr UINT kHypervisorTextIntervalMs = 500;

}  // namespace

const char* ExtractionFailureText(tn::ExtractResult result) {
  switch (result) {
    case tn::ExtractResult::kLoadLibraryFailed: return "初始化安装出错，安装加载解压库失败!";
    case tn::ExtractResult::kNoCreateObject: return "初始化安装出错，获取安装解压函数失败!";
    case tn::ExtractResult::kCreateObjectFailed: return "获取安装解压对象失败!";
    case tn::ExtractResult::kOpenFileFailed: return "打开安装压缩包失败!";
    case tn::ExtractResult::kOpenArchiveFailed: return "打开安装压缩包中文件失败!";
    case tn::ExtractResult::kFailed: return "安装过程中出错!";
    case tn::ExtractResult::kSucceeded: break;
  }
  return "";
}

UI_Installing::UI_Installing() = default;
UI_Installing::~UI_Installing() = default;

LRESULT UI_Installing::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  const LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result != 0) return result;
  root_ = wiring_.Find<DuiLib::CControlUI>("root");
  loading_picture_ = wiring_.Find<DuiLib::CLabelUI>("l_loading");
  percent_label_ = wiring_.Find<DuiLib::CLabelUI>("l_percent");
  status_label_ = wiring_.Find<DuiLib::CLabelUI>("l_installing");
  progress_ = wiring_.Find<DuiLib::CProgressUI>("p_progress");
  // The close button is disabled while installing; minimising works.
  wiring_.OnMinimize([this] { return host_; });
  return 0;
}

LRESULT UI_Installing::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_TIMER && wParam == TIMER_LOADING_PICTURE) {
    OnNextPicture();
  } else if (uMsg == WM_TIMER && wParam == TIMER_HYPERVISOR_TEXT) {
    OnNextHypervisorText();
  } else if (uMsg == WM_INSTALL_PROGRESS) {
    OnProgress(static_cast<int>(wParam));
  } else if (uMsg == WM_EXTRACT_FAILED) {
    OnExtractFailed(ExtractResultOfParameter(wParam));
  } else if (uMsg == WM_HYPERVISOR_INSTALLED) {
    OnHypervisorInstalled();
  }
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void UI_Installing::OnNextPicture() {
  static const char* const kPictures[] = {"loading_pic2.bmp", "loading_pic3.bmp",
                                          "loading_pic1.bmp"};
  if (picture_counter_ >= 3) picture_counter_ = 0;
  if (loading_picture_) {
    loading_picture_->SetBkImage((std::string("image\\") + kPictures[picture_counter_]).c_str());
  }
  ++picture_counter_;
}

void UI_Installing::OnNextHypervisorText() {
  static const char* const kDots[] = {" ", ".", "..", "..."};
  if (dots_counter_ >= 4) dots_counter_ = 0;
  if (status_label_) {
    status_label_->SetText((std::string(kHypervisorInstallingText) + kDots[dots_counter_]).c_str());
  }
  ++dots_counter_;
}

void UI_Installing::OnHypervisorInstalled() {
  KillTimer(m_hWnd, TIMER_HYPERVISOR_TEXT);
  if (status_label_) status_label_->SetText(kHypervisorInstalledText);
  if (host_) RemoveHypervisorSetupFiles(host_->GetInstallDir());
  ShowFinishPage();
}

void UI_Installing::OnProgress(int percent) {
  if (progress_) progress_->SetValue(percent);
  char number[10];
  char text[10];
  snprintf(number, sizeof(number), "%d", percent);
  snprintf(text, sizeof(text), "%s%%", number);
  if (percent_label_) percent_label_->SetText(text);
  if (percent == 100 && !completion_started_) {
    completion_started_ = true;
    RunCompletionSequence();
  }
}

void UI_Installing::OnExtractFailed(tn::ExtractResult result) {
  // The earlier installation is back in its place before the user reads
  // that this one failed.
  if (host_) host_->RollBackInstallation();
  char text[260 * 2 + 2];
  snprintf(text, sizeof(text), "%s\n%s", ExtractionFailureText(result), kInstallFailedText);
  MessageBoxA(nullptr, text, kSetupCaption, MB_OK);
  if (host_) host_->CloseInstaller();
}

void UI_Installing::RegisterUninstallEntry() {
  if (host_) static_cast<void>(::RegisterUninstallEntry(host_->GetInstallState(), &display_name_));
}

void UI_Installing::RunCompletionSequence() {
  if (!host_) return;
  const InstallState& state = host_->GetInstallState();
  OutputDebugStringA("解压完成，开始注册程序并创建快捷方式\n");
  // No step's failure stops a later one: each only leaves its own trace
  // missing.
  RegisterUninstallEntry();
  // From here on the new installation is the one the system knows: what the
  // earlier one left aside can go.
  host_->CommitInstallation();
  const std::string main_program = state.m_strInstallDir + "\\" + state.m_strDisplayIcon;
  const std::string uninstaller = state.m_strInstallDir + "\\" + state.m_strUninstallString;
  const std::string uninstall_link = kUninstallLinkPrefix + display_name_;
  CreateShortcut(StartMenu, main_program, display_name_, false);
  CreateShortcut(StartMenu, uninstaller, uninstall_link, false);
  if (state.m_bDesktopShortcut) CreateShortcut(Desktop, main_program, display_name_, false);
  if (state.m_bPinTaskbar && !IsNtVersion10()) {
    CreateShortcut(QuickLaunch, main_program, display_name_, false);
  }
  if (state.m_bAutoRun) {
    char startup[255] = {};
    if (SHGetSpecialFolderPathA(nullptr, startup, CSIDL_STARTUP, FALSE)) {
      CreateAutoStartShortcut(startup, state.m_strInstallDir);
    }
  }
  HandOffInstallReport(state.m_strInstallDir);
  const std::string work_dir = host_->GetWorkDir();
  DeleteWorkDirFile(work_dir, kArchiveLibraryFileName);
  DeleteWorkDirFile(work_dir, kConfigFileName);
  if (FileExists(state.m_strInstallDir + "\\" + kHypervisorSetupProgram) &&
      IsHypervisorSetupNeeded()) {
    StartHypervisorSetup();
    return;
  }
  ShowFinishPage();
}

void UI_Installing::StartHypervisorSetup() {
  // The page stays at 100 %: the pictures keep turning and the status line
  // tells what is being installed until the setup's thread reports back.
  OutputDebugStringA("开始安装VMware\n");
  SetTimer(m_hWnd, TIMER_HYPERVISOR_TEXT, kHypervisorTextIntervalMs, nullptr);
  static_cast<void>(
      ::StartHypervisorSetup(m_hWnd, WM_HYPERVISOR_INSTALLED, host_->GetInstallDir()));
}

void UI_Installing::ShowFinishPage() {
  KillTimer(m_hWnd, TIMER_LOADING_PICTURE);
  if (host_) host_->ShowPage(kPageInstallSuccess);
  OutputDebugStringA("显示安装完成页面\n");
}

void UI_Installing::StartExtraction() {
  if (!host_) return;
  if (!::StartExtraction(m_hWnd, host_->GetWorkDir(), host_->GetInstallDir())) {
    ReportFailureBeforeExtraction();
    return;
  }
  extraction_started_ = true;
}

void UI_Installing::ReportFailureBeforeExtraction() {
  PostMessage(WM_EXTRACT_FAILED, ExtractResultParameter(tn::ExtractResult::kFailed), 0);
}

bool UI_Installing::StopExtraction(DWORD timeout_ms) {
  if (!extraction_started_) return true;
  tn::CArchiveManager::GetInstance()->RequestStop();
  return tn::CArchiveManager::GetInstance()->WaitForWorker(timeout_ms);
}
