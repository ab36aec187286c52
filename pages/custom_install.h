// The options page: install directory through the folder dialog, the three
// choices, and the admission rules applied before the installation starts.
#pragma once

#include <string>

#include "pages/page_wiring.h"
#include "ui/UIlib.h"

class PageHost;

// Text of the path rule's message in "l_info" (GBK).
extern const char kChinesePathText[];
// Title of the folder dialog (GBK).
extern const char kBrowseFolderTitle[];

class UI_CustomInstall : public DuiLib::WindowImplBase {
 public:
  UI_CustomInstall();
  ~UI_CustomInstall() override;

  // Set by the main window right after it created this page's window.
  void SetHost(PageHost* host) { host_ = host; }
  // The page's control tree, moved by the main window into its options tab;
  // null when the skin could not be built.
  DuiLib::CControlUI* GetRoot() const { return root_; }
  // Sets the text of "l_info" (the last admission error).
  void SetInfoText(const char* text);

  // Opens the folder dialog; a chosen folder plus "\ZEVodirodaz" becomes the
  // install directory and the text of "edit_path". Cancel changes nothing.
  void BrowseInstallDir();
  // What BrowseInstallDir does with a folder the dialog returned.
  void ApplyChosenFolder(const std::string& folder);

 protected:
  LPCTSTR GetWindowClassName() const override { return "UI_CustomInstall"; }
  DuiLib::CDuiString GetSkinFolder() override { return DuiLib::CDuiString(); }
  DuiLib::CDuiString GetSkinFile() override { return "UI_CustomInstall.xml"; }
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void OnReturn();
  void OnInstall();

  PageHost* host_ = nullptr;
  PageWiring wiring_{&m_PaintManager};
  DuiLib::CControlUI* root_ = nullptr;
  DuiLib::COptionUI* shortcut_checkbox_ = nullptr;
  DuiLib::COptionUI* launchbar_checkbox_ = nullptr;
  DuiLib::CLabelUI* info_label_ = nullptr;
  DuiLib::COptionUI* autorun_checkbox_ = nullptr;
  DuiLib::CEditUI* path_edit_ = nullptr;
  // The dialog has no owner, so the page stays clickable while it is open;
  // a second dialog is not opened meanwhile.
  bool browsing_ = false;
};
