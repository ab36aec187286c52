#include "pages/custom_install.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "pages/install_dir.h"
#include "pages/page_host.h"
#include "pages/setup_texts.h"
#include "util/scoped_handle.h"

const char kChinesePathText[] = "Tarnis模拟器不支持中文路径安装，请重新选择路径!";
const char kBrowseFolderTitle[] = "请选择Tarnis模拟器的安装文件夹:";

namespace {

// BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE
const UINT kBrowseFlags = 0x43;

}  // namespace

UI_CustomInstall::UI_CustomInstall() = default;
UI_CustomInstall::~UI_CustomInstall() = default;

LRESULT UI_CustomInstall::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  DestroyWindow(m_hWnd);
  bHandled = TRUE;
  return 0;
}

LRESULT UI_CustomInstall::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  const LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result != 0) return result;
  root_ = wiring_.Find<DuiLib::CControlUI>("root");
  shortcut_checkbox_ = wiring_.Find<DuiLib::COptionUI>("btn_cb_shortcut");
  launchbar_checkbox_ = wiring_.Find<DuiLib::COptionUI>("btn_cb_Launchbar");
  autorun_checkbox_ = wiring_.Find<DuiLib::COptionUI>("btn_cb_autorun");
  info_label_ = wiring_.Find<DuiLib::CLabelUI>("l_info");
  path_edit_ = wiring_.Find<DuiLib::CEditUI>("edit_path");
  const auto host = [this] { return host_; };
  wiring_.OnMinimize(host);
  wiring_.OnConfirmedClose(host);
  wiring_.OnClick<DuiLib::CButtonUI>("btn_return", [this] {
    if (host_) OnReturn();
  });
  wiring_.OnClick<DuiLib::CButtonUI>("btn_browser", [this] {
    if (!host_) return;
    SetInfoText("");
    BrowseInstallDir();
  });
  wiring_.OnClick<DuiLib::CButtonUI>("btn_install", [this] {
    if (host_) OnInstall();
  });
  // Under WOW64 the field stays empty and shows its hint, which names the
  // 64-bit default.
  if (!IsCurrentProcessWow64() && path_edit_) path_edit_->SetText(kDefaultInstallDirNative);
  return 0;
}

void UI_CustomInstall::SetInfoText(const char* text) {
  if (info_label_) info_label_->SetText(text);
}

void UI_CustomInstall::OnReturn() {
  for (DuiLib::COptionUI* box : {shortcut_checkbox_, launchbar_checkbox_, autorun_checkbox_}) {
    if (box) box->Selected(true, true);
  }
  host_->SetChoices(1, 1, 1);
  host_->SetDefaultInstallDir();
  if (path_edit_) path_edit_->SetText(host_->GetInstallDir().c_str());
  SetInfoText("");
  host_->ShowPage(kPageHome);
}

void UI_CustomInstall::OnInstall() {
  auto selected = [](DuiLib::COptionUI* box) { return box && box->IsSelected() ? 1 : 0; };
  host_->SetChoices(selected(shortcut_checkbox_), selected(launchbar_checkbox_),
                    selected(autorun_checkbox_));
  host_->SetInstallFrom(kInstallFromOptionsPage);
  if (HasDoubleByteSequence(host_->GetInstallDir().c_str())) {
    char text[260];
    snprintf(text, sizeof(text), "%s", kChinesePathText);
    SetInfoText(text);
    return;
  }
  host_->StartInstall();
}

void UI_CustomInstall::BrowseInstallDir() {
  if (browsing_) return;
  browsing_ = true;
  // The new dialog style hosts shell views, which need COM on this thread.
  tn::ScopedComInit com;
  char folder[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = nullptr;
  info.pidlRoot = nullptr;
  info.pszDisplayName = folder;
  info.lpszTitle = kBrowseFolderTitle;
  info.ulFlags = kBrowseFlags;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
  std::string result;
  if (chosen && SHGetPathFromIDListA(chosen, folder)) result = folder;
  tn::ComPtr<IMalloc> allocator;
  browsing_ = false;
  if (FAILED(SHGetMalloc(allocator.Receive())) || !allocator) return;
  allocator->Free(chosen);
  // The window stayed usable while the dialog was open: once the
  // installation has started, the directory must not change any more.
  if (host_ && host_->IsInstallStarted()) return;
  ApplyChosenFolder(result);
}

void UI_CustomInstall::ApplyChosenFolder(const std::string& folder) {
  const std::string install_dir = InstallDirFromChosenFolder(folder);
  if (install_dir.empty() || !host_) return;
  if (path_edit_) path_edit_->SetText(install_dir.c_str());
  host_->SetInstallDir(install_dir);
}
