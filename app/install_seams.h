// Steps of the start-install sequence that belong to the installation
// actions and the hypervisor prerequisite. Until those modules exist, the
// steps marked "not yet built" do nothing, so the page flow runs end to end
// without them; each is replaced by a call into its module.
#pragma once

#include <windows.h>

#include <string>

// Ends the product's programs listed in the configuration.
// Not yet built: does nothing.
void TerminateConfiguredProcesses();

// Ends the hypervisor's programs. Not yet built: does nothing.
void TerminateHypervisorProcesses();

// The directory of a previous installation named by its uninstall entry, or
// empty. Not yet built: always empty.
std::string FindPreviousInstallDirectory();

// Removes what a previous installation in |old_install_dir| left; nothing
// when it is empty. Not yet built: does nothing.
void RemovePreviousInstallation(const std::string& old_install_dir);

// Creates the per-user data folder (application data + "\ZEVodirodaz") when
// it does not exist; its parent is not created. Returns the folder, or empty
// when the application-data folder cannot be resolved.
std::string EnsureUserDataFolder();

// The completion steps after extraction: uninstall registration, shortcuts,
// auto-start entry and report hand-off. Not yet built: does nothing.
void RunPostExtractionActions();

// True when the payload brought the hypervisor's setup and the hypervisor is
// missing. Not yet built: always false.
bool IsHypervisorSetupNeeded();

// Runs the hypervisor's silent setup; |page| receives WM_HYPERVISOR_INSTALLED
// when it has ended. Not yet built: posts that message at once.
void StartHypervisorSetup(HWND page);
