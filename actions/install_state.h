// The state of one installation. The main window owns it; the pages change
// it only through their host, and the installation actions read it.
#pragma once

#include <string>

// Where the installation was started from (m_nInstallFrom).
constexpr int kInstallNotStarted = 0;
constexpr int kInstallFromWelcomePage = 1;
constexpr int kInstallFromOptionsPage = 2;

struct InstallState {
  // The install directory, without trailing backslash.
  std::string m_strInstallDir;
  // The user's choices; any value other than 0 means on.
  int m_bDesktopShortcut = 1;
  int m_bPinTaskbar = 1;
  int m_bAutoRun = 1;
  int m_nInstallFrom = kInstallNotStarted;
  // The directory of a previous installation, from its uninstall entry;
  // empty when there is none (or none that may be removed).
  std::string m_strOldInstallDir;
  // The work directory holding the archive library and the configuration.
  std::string m_strWorkDir;

  // Configuration values copied when the main window is created.
  std::string m_strRegKeyName;       // RegeditKeyName
  std::string m_strDisplayIcon;      // DisplayIcon: the main program's file name
  std::string m_strDisplayName;      // DisplayName
  std::string m_strUninstallString;  // UninstallString: the uninstaller's file name
};
