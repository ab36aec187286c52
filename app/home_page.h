// The installer's main window: shows the welcome page, hosts the options,
// installing and finish pages as tabs, owns the installation state and runs
// the start-install sequence.
#pragma once

#include <string>

#include "actions/install_journal.h"
#include "actions/install_state.h"
#include "pages/page_host.h"
#include "pages/page_wiring.h"
#include "ui/UIlib.h"

class UI_CustomInstall;
class UI_Installing;
class UI_InstallSuccess;

// Text of the welcome page's agreement message box (GBK).
extern const char kAgreementRequiredText[];
// "...最低需%dGB空间!": the free-space message, with the required whole GB.
extern const char kDiskSpaceTextFormat[];

class UI_HomePage : public DuiLib::WindowImplBase, public PageHost {
 public:
  UI_HomePage();
  // Undoes an installation that did not complete, waits (bounded) for the
  // deletion of what a completed one left aside, clears the configuration
  // table and removes the work directory. The page objects are not
  // released: their windows died with this one, and a detached worker may
  // still post to them until the process ends.
  ~UI_HomePage() override;

  // Switches the visible page; unknown names do nothing. The options page is
  // created on the first switch and reused; the installing and finish pages
  // are created anew on every switch.
  void ShowPage(const char* page_name) override;
  // Checks the free space; on success shows the installing page, ends the
  // product's and the hypervisor's programs, moves a previous installation
  // aside, makes the install directory and starts the extraction. Without
  // the space the options page (shown first when the installation was
  // started from the welcome page) shows the space message. When the
  // earlier installation cannot be moved aside the installation ends as a
  // failed extraction (-6), with everything put back.
  void StartInstall() override;
  void SetInstallFrom(int install_from) override;
  // The default install directory for the process bitness.
  void SetDefaultInstallDir() override;
  void SetInstallDir(const std::string& directory) override;
  void SetChoices(int desktop_shortcut, int pin_taskbar, int auto_run) override;
  bool IsInstallStarted() const override { return installing_page_ != nullptr; }
  void CommitInstallation() override { journal_.Commit(); }
  void RollBackInstallation() override;
  void CloseInstaller() override { Close(IDOK); }
  HWND GetHostWindow() const override { return m_hWnd; }

  // The installation's state; the copy-returning accessors of PageHost read it.
  const InstallState& GetInstallState() const override { return state_; }
  std::string GetRegKeyName() const { return state_.m_strRegKeyName; }
  std::string GetOldInstallDir() const { return state_.m_strOldInstallDir; }

  // The pages, null until first shown.
  UI_CustomInstall* GetCustomInstallPage() const { return custom_install_page_; }
  UI_Installing* GetInstallingPage() const { return installing_page_; }
  UI_InstallSuccess* GetInstallSuccessPage() const { return install_success_page_; }

 protected:
  LPCTSTR GetWindowClassName() const override { return "UI_HomePage"; }
  DuiLib::CDuiString GetSkinFolder() override { return DuiLib::CDuiString(); }
  DuiLib::CDuiString GetSkinFile() override { return "UI_HomePage.xml"; }
  // Destroys the window at once. A running extraction is stopped and awaited
  // (bounded) first, so nothing writes into the install directory or holds
  // the work directory's library once the window is gone.
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void FindControls();
  void ReadUninstallValues();
  // True when the agreement box is ticked; otherwise the agreement message.
  bool IsAgreed();
  // Stops a running extraction; an installation that did not complete is
  // then rolled back (unless the worker would not stop: the journal is left
  // for the next start then).
  void EndUnfinishedInstallation();
  // Paints the window between the steps of a long removal.
  void KeepWindowPainted();

  PageWiring wiring_{&m_PaintManager};
  DuiLib::CTabLayoutUI* tab_control_ = nullptr;
  DuiLib::CControlUI* agreement_text_ = nullptr;
  DuiLib::COptionUI* agreement_checkbox_ = nullptr;
  DuiLib::CControlUI* welcome_content_ = nullptr;
  DuiLib::CContainerUI* custom_install_container_ = nullptr;
  DuiLib::CContainerUI* installing_container_ = nullptr;
  DuiLib::CContainerUI* install_success_container_ = nullptr;

  UI_CustomInstall* custom_install_page_ = nullptr;
  UI_Installing* installing_page_ = nullptr;
  UI_InstallSuccess* install_success_page_ = nullptr;

  InstallState state_;
  CInstallJournal journal_;
  DWORD last_painted_ = 0;
};
