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
  root_ = wiring_.Find<DuiLib::CControlUI>("root");
  wiring_.OnMinimize([this] { return host_; });
  // The installation is complete: closing asks nothing.
  wiring_.OnClick<DuiLib::CButtonUI>("btn_close", [this] {
    if (!host_) return;
    RemoveWorkDir();
    host_->CloseInstaller();
  });
  wiring_.OnClick<DuiLib::CButtonUI>("btn_Open", [this] {
    if (!host_) return;
    RemoveWorkDir();
    LaunchProduct();
    host_->CloseInstaller();
  });
  return 0;
}

void UI_InstallSuccess::LaunchProduct() {
  if (!host_) return;
  const std::string program = host_->GetInstallDir() + "\\" + host_->GetDisplayIcon();
  // No parameters, no working folder; a missing program stays silent.
  static_cast<void>(OpenProgramSilently(program, std::string(), std::string(), SW_SHOWNORMAL));
}
