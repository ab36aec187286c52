// What the pages need of the window that hosts them. The main window
// implements it; the pages depend on nothing above this header, so each can
// be driven by a test host of its own.
#pragma once

#include <windows.h>

#include <string>

#include "actions/install_state.h"

// Page names accepted by PageHost::ShowPage.
extern const char kPageHome[];
extern const char kPageCustomInstall[];
extern const char kPageInstalling[];
extern const char kPageInstallSuccess[];

class PageHost {
 public:
  virtual ~PageHost() = default;

  // The installation's state, as a copy-free read-only view.
  virtual const InstallState& GetInstallState() const = 0;
  std::string GetInstallDir() const { return GetInstallState().m_strInstallDir; }
  std::string GetWorkDir() const { return GetInstallState().m_strWorkDir; }
  std::string GetDisplayIcon() const { return GetInstallState().m_strDisplayIcon; }
  std::string GetDisplayName() const { return GetInstallState().m_strDisplayName; }
  std::string GetUninstallString() const { return GetInstallState().m_strUninstallString; }

  // Changes made by the options page; ignored once the installation started.
  virtual void SetInstallDir(const std::string& directory) = 0;
  virtual void SetDefaultInstallDir() = 0;
  virtual void SetChoices(int desktop_shortcut, int pin_taskbar, int auto_run) = 0;

  // Switches the visible page; unknown names do nothing.
  virtual void ShowPage(const char* page_name) = 0;
  // Records where the installation is being started from
  // (kInstallFromWelcomePage, kInstallFromOptionsPage).
  virtual void SetInstallFrom(int install_from) = 0;
  // The start-install sequence: the free-space check, then the installing
  // page and everything up to the start of the extraction.
  virtual void StartInstall() = 0;
  // True once the installing page has been shown: from then on the install
  // directory and the choices no longer change.
  virtual bool IsInstallStarted() const = 0;
  // The new installation is registered: what the earlier one left aside is
  // let go of (deleted in the background). Called once, by the completion
  // sequence.
  virtual void CommitInstallation() = 0;
  // The installation will not complete: what it created is removed and what
  // it moved aside put back, before the failure is shown.
  virtual void RollBackInstallation() = 0;
  // Closes the installer (the main window, with result 1).
  virtual void CloseInstaller() = 0;
  // The main window: owner of message boxes and target of minimise.
  virtual HWND GetHostWindow() const = 0;
};
