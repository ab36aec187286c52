// The installer's main window: shows the welcome page, hosts the options,
// installing and finish pages as tabs, owns the installation state and runs
// the start-install sequence.
#pragma once

#include <string>

#include "ui/UIlib.h"

class UI_CustomInstall;
class UI_Installing;
class UI_InstallSuccess;

// Page names accepted by UI_HomePage::ShowPage.
extern const char kPageHome[];
extern const char kPageCustomInstall[];
extern const char kPageInstalling[];
extern const char kPageInstallSuccess[];

// Texts of the welcome page's message boxes (GBK).
extern const char kAgreementRequiredText[];
extern const char kConfirmCloseText[];
// "...最低需%dGB空间!": the free-space message, with the required whole GB.
extern const char kDiskSpaceTextFormat[];

class UI_HomePage : public DuiLib::WindowImplBase {
 public:
  UI_HomePage();
  // Clears the configuration table and removes the work directory. The page
  // objects are not released: their windows died with this one, and a
  // detached worker may still post to them until the process ends.
  ~UI_HomePage() override;

  // Switches the visible page; unknown names do nothing. The options page is
  // created on the first switch and reused; the installing and finish pages
  // are created anew on every switch.
  void ShowPage(const char* page_name);
  // Checks the free space; on success shows the installing page, runs the
  // preparation steps and starts the extraction. On failure the options page
  // (shown first when the installation was started from the welcome page)
  // shows the space message.
  void StartInstall();
  // The default install directory for the process bitness.
  void SetDefaultInstallDir();

  // Copies of the state; none has side effects.
  std::string GetInstallDir() const { return m_strInstallDir; }
  std::string GetRegKeyName() const { return reg_key_name_; }
  std::string GetDisplayIcon() const { return display_icon_; }
  std::string GetDisplayName() const { return display_name_; }
  std::string GetUninstallString() const { return uninstall_string_; }
  std::string GetOldInstallDir() const { return old_install_dir_; }
  std::string GetWorkDir() const { return work_dir_; }

  // The pages, null until first shown.
  UI_CustomInstall* GetCustomInstallPage() const { return custom_install_page_; }
  UI_Installing* GetInstallingPage() const { return installing_page_; }
  UI_InstallSuccess* GetInstallSuccessPage() const { return install_success_page_; }
  // True once the installing page has been shown: from then on the install
  // directory and the choices no longer change.
  bool IsInstallStarted() const { return installing_page_ != nullptr; }

  // Written by the options page.
  std::string m_strInstallDir;
  int m_bDesktopShortcut = 1;
  int m_bPinTaskbar = 1;
  int m_bAutoRun = 1;
  // 0 not started, 1 from the welcome page, 2 from the options page.
  int m_nInstallFrom = 0;

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
  bool OnWelcomeNotify(void* param);
  void StopRunningExtraction();

  DuiLib::CTabLayoutUI* tab_control_ = nullptr;
  DuiLib::CButtonUI* custom_install_link_ = nullptr;
  DuiLib::CButtonUI* minimize_button_ = nullptr;
  DuiLib::CButtonUI* close_button_ = nullptr;
  DuiLib::CButtonUI* agreement_link_ = nullptr;
  DuiLib::CButtonUI* install_button_ = nullptr;
  DuiLib::CControlUI* agreement_text_ = nullptr;
  DuiLib::COptionUI* agreement_checkbox_ = nullptr;
  DuiLib::CControlUI* welcome_content_ = nullptr;
  DuiLib::CContainerUI* custom_install_container_ = nullptr;
  DuiLib::CContainerUI* installing_container_ = nullptr;
  DuiLib::CContainerUI* install_success_container_ = nullptr;

  UI_CustomInstall* custom_install_page_ = nullptr;
  UI_Installing* installing_page_ = nullptr;
  UI_InstallSuccess* install_success_page_ = nullptr;

  std::string reg_key_name_;
  std::string display_icon_;
  std::string display_name_;
  std::string uninstall_string_;
  std::string old_install_dir_;
  std::string work_dir_;
};

// The main window, for the extraction worker; set when the installing page
// is created.
extern UI_HomePage* g_pHomePage;
