#include "pages/installing.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/home_page.h"
#include "app/install_seams.h"
#include "app/startup_checks.h"
#include "config/work_dir.h"
#include "payload/archive_manager.h"
#include "payload/extraction_worker.h"
#include "payload/install_messages.h"
#include "util/file_util.h"

const char kInstallFailedText[] = "安装模拟器失败，程序退出!";

namespace {

// One installation per process: these are never reset.
bool g_completion_started = false;
int g_picture_counter = 0;

// Result code used when the worker thread itself could not be started.
const int kWorkerNotStartedCode = -6;

}  // namespace

const char* ExtractionFailureText(int code) {
  switch (code) {
    case -1: return "初始化安装出错，安装加载解压库失败!";
    case -2: return "初始化安装出错，获取安装解压函数失败!";
    case -3: return "获取安装解压对象失败!";
    case -4: return "打开安装压缩包失败!";
    case -5: return "打开安装压缩包中文件失败!";
    case -6: return "安装过程中出错!";
    default: return "";
  }
}

UI_Installing::UI_Installing() = default;
UI_Installing::~UI_Installing() = default;

LRESULT UI_Installing::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  const LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result != 0) return result;
  auto find = [this](const char* name) { return m_PaintManager.FindControl(name); };
  root_ = find("root");
  close_button_ = static_cast<DuiLib::CButtonUI*>(find("btn_close"));
  minimize_button_ = static_cast<DuiLib::CButtonUI*>(find("btn_mini"));
  loading_picture_ = static_cast<DuiLib::CLabelUI*>(find("l_loading"));
  percent_label_ = static_cast<DuiLib::CLabelUI*>(find("l_percent"));
  status_label_ = static_cast<DuiLib::CLabelUI*>(find("l_installing"));
  progress_ = static_cast<DuiLib::CProgressUI*>(find("p_progress"));
  for (DuiLib::CControlUI* control : {static_cast<DuiLib::CControlUI*>(close_button_),
                                      static_cast<DuiLib::CControlUI*>(minimize_button_),
                                      static_cast<DuiLib::CControlUI*>(progress_)}) {
    if (control) control->OnNotify += DuiLib::MakeDelegate(this, &UI_Installing::OnPageNotify);
  }
  return 0;
}

bool UI_Installing::OnPageNotify(void* param) {
  const DuiLib::TNotifyUI* msg = static_cast<DuiLib::TNotifyUI*>(param);
  if (msg->sType == DUI_MSGTYPE_CLICK && msg->pSender == minimize_button_ && home_) {
    home_->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  }
  return true;
}

LRESULT UI_Installing::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_TIMER && wParam == TIMER_LOADING_PICTURE) {
    OnNextPicture();
  } else if (uMsg == WM_INSTALL_PROGRESS) {
    OnProgress(static_cast<int>(wParam));
  } else if (uMsg == WM_EXTRACT_FAILED) {
    OnExtractFailed(static_cast<int>(static_cast<INT_PTR>(wParam)));
  } else if (uMsg == WM_HYPERVISOR_INSTALLED) {
    KillTimer(m_hWnd, TIMER_HYPERVISOR_TEXT);
    ShowFinishPage();
  }
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void UI_Installing::OnNextPicture() {
  static const char* const kPictures[] = {"loading_pic2.bmp", "loading_pic3.bmp",
                                          "loading_pic1.bmp"};
  if (g_picture_counter >= 3) g_picture_counter = 0;
  if (loading_picture_) {
    loading_picture_->SetBkImage((std::string("image\\") + kPictures[g_picture_counter]).c_str());
  }
  ++g_picture_counter;
}

void UI_Installing::OnProgress(int percent) {
  if (progress_) progress_->SetValue(percent);
  char number[10];
  char text[10];
  snprintf(number, sizeof(number), "%d", percent);
  snprintf(text, sizeof(text), "%s%%", number);
  if (percent_label_) percent_label_->SetText(text);
  if (percent == 100 && !g_completion_started) {
    g_completion_started = true;
    RunCompletionSequence();
  }
}

void UI_Installing::OnExtractFailed(int code) {
  char text[260 * 2 + 2];
  snprintf(text, sizeof(text), "%s\n%s", ExtractionFailureText(code), kInstallFailedText);
  MessageBoxA(nullptr, text, kSetupCaption, MB_OK);
  if (home_) home_->Close(IDOK);
}

void UI_Installing::RunCompletionSequence() {
  if (!home_) return;
  RunPostExtractionActions();
  const std::string work_dir = home_->GetWorkDir();
  DeleteWorkDirFile(work_dir, kArchiveLibraryFileName);
  DeleteWorkDirFile(work_dir, kConfigFileName);
  if (FileExists(home_->GetInstallDir() + "\\VMware14.exe") && IsHypervisorSetupNeeded()) {
    StartHypervisorSetup(m_hWnd);
    return;
  }
  ShowFinishPage();
}

void UI_Installing::ShowFinishPage() {
  KillTimer(m_hWnd, TIMER_LOADING_PICTURE);
  if (home_) home_->ShowPage(kPageInstallSuccess);
}

void UI_Installing::StartExtraction() {
  if (!home_) return;
  if (!::StartExtraction(m_hWnd, home_->GetWorkDir(), home_->GetInstallDir())) {
    PostMessage(WM_EXTRACT_FAILED, static_cast<WPARAM>(kWorkerNotStartedCode), 0);
    return;
  }
  extraction_started_ = true;
}

bool UI_Installing::StopExtraction(DWORD timeout_ms) {
  if (!extraction_started_) return true;
  tn::CArchiveManager::GetInstance()->RequestStop();
  return tn::CArchiveManager::GetInstance()->WaitForWorker(timeout_ms);
}
