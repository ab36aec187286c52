#include "pages/install_success.h"

#include <windows.h>

#include <string>

#include "config/work_dir.h"
#include "pages/page_host.h"
#include "util/process_util.h"

UI_InstallSuccess::UI_InstallSuccess() = default;
UI_InstallSuccess::~UI_InstallSuccess() = default;

LRESULT UI_InstallSuccess::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  const LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result != 0) return result;
  root_ = m_PaintManager.FindControl("root");
  close_button_ = static_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl("btn_close"));
  minimize_button_ = static_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl("btn_mini"));
  open_button_ = static_cast<DuiLib::CButtonUI*>(m_PaintManager.FindControl("btn_Open"));
  for (DuiLib::CButtonUI* button : {close_button_, minimize_button_, open_button_}) {
    if (button) button->OnNotify += DuiLib::MakeDelegate(this, &UI_InstallSuccess::OnPageNotify);
  }
  return 0;
}

bool UI_InstallSuccess::OnPageNotify(void* param) {
  const DuiLib::TNotifyUI* msg = static_cast<DuiLib::TNotifyUI*>(param);
  if (msg->sType != DUI_MSGTYPE_CLICK || !host_) return true;
  if (msg->pSender == close_button_) {
    RemoveWorkDir();
    host_->CloseInstaller();
  } else if (msg->pSender == minimize_button_) {
    ::SendMessageA(host_->GetHostWindow(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (msg->pSender == open_button_) {
    RemoveWorkDir();
    LaunchProduct();
    host_->CloseInstaller();
  }
  return true;
}

void UI_InstallSuccess::LaunchProduct() {
  if (!host_) return;
  const std::string program = host_->GetInstallDir() + "\\" + host_->GetDisplayIcon();
  // No parameters, no working folder; a missing program stays silent.
  static_cast<void>(OpenProgramSilently(program, std::string(), std::string(), SW_SHOWNORMAL));
}
