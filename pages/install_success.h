// The finish page: starts the installed product or just closes the
// installer; either way the work directory is removed first.
#pragma once

#include "pages/page_wiring.h"
#include "ui/UIlib.h"

class PageHost;

class UI_InstallSuccess : public DuiLib::WindowImplBase {
 public:
  UI_InstallSuccess();
  ~UI_InstallSuccess() override;

  void SetHost(PageHost* host) { host_ = host; }
  DuiLib::CControlUI* GetRoot() const { return root_; }

  // Starts install directory + "\" + the configured main program with the
  // "open" verb, no parameters, no working directory, shown normally. The
  // outcome is not examined: a missing program is passed over silently.
  void LaunchProduct();

 protected:
  LPCTSTR GetWindowClassName() const override { return "UI_InstallSuccess"; }
  DuiLib::CDuiString GetSkinFile() override { return "UI_InstallSuccess.xml"; }
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  PageHost* host_ = nullptr;
  PageWiring wiring_{&m_PaintManager};
  DuiLib::CControlUI* root_ = nullptr;
};
