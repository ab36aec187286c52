#include "app/install_seams.h"

#include <windows.h>
#include <shlobj.h>

#include "payload/install_messages.h"

void TerminateConfiguredProcesses() {}

void TerminateHypervisorProcesses() {}

std::string FindPreviousInstallDirectory() { return std::string(); }

void RemovePreviousInstallation(const std::string& /*old_install_dir*/) {}

std::string EnsureUserDataFolder() {
  char app_data[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, app_data, CSIDL_APPDATA, FALSE)) return std::string();
  const std::string folder = std::string(app_data) + "\\ZEVodirodaz";
  if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // A failure shows later as a missing report file; nothing to tell the user.
    static_cast<void>(CreateDirectoryA(folder.c_str(), nullptr));
  }
  return folder;
}

void RunPostExtractionActions() {}

bool IsHypervisorSetupNeeded() { return false; }

void StartHypervisorSetup(HWND page) { PostMessageA(page, WM_HYPERVISOR_INSTALLED, 0, 0); }
