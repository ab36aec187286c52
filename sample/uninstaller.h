// The steps of the product's uninstaller. It removes what the installer made
// for the installation it belongs to (the directory it runs from) and leaves
// another installation's registration and shortcuts alone.
#pragma once

#include <windows.h>

#include <string>

#include "util/scoped_handle.h"

namespace sample {

// Exit codes of uninstall.exe.
enum UninstallExitCode {
  kUninstallDone = 0,
  kUninstallCancelled = 1,
  kUninstallUsage = 2,
  kUninstallUnsafeDirectory = 3,
  kUninstallCleanupFailed = 4,
};

// |path| without trailing backslashes, made absolute and, when it exists, with
// its long names; empty for an empty or unusable path.
std::string NormalizePath(const std::string& path);

// True when |path| lies strictly below |directory| (both normalised, letter
// case ignored).
bool IsPathInside(const std::string& path, const std::string& directory);

// The target path stored in the shell link |link_file|; empty when the link
// cannot be read.
std::string ReadLinkTarget(const std::string& link_file);

// Asks the auto-start program to end, waits a moment, then terminates the
// product's programs that still run (main, auto-start and reporting program).
void StopProductPrograms();

// Deletes the product's links that point into |install_dir|: the Start-menu
// folders (current user and all users; each folder is removed when it ends up
// empty), the desktop, Quick Launch (unpinned from the taskbar first where the
// shell has the verb) and the Startup folder. Returns the number of links
// deleted.
int RemoveProductShortcuts(const std::string& install_dir);

// Deletes the uninstall key in the 32-bit and in the 64-bit registry view when
// its UninstallString or DisplayIcon lies in |install_dir|. Returns the number
// of keys deleted.
int RemoveUninstallEntries(const std::string& install_dir);

// Copies the running program to the temp folder and starts the copy with
// "/cleanup <process handle> <install_dir>"; the copy waits for this process to
// end and then removes |install_dir|. False if the copy could not be started.
bool StartDeferredCleanup(const std::string& install_dir);

// Body of the "/cleanup" run. |parent| is the inherited handle of the original
// uninstaller. The directory is removed only when it is the one the parent
// ran from and RemoveDirectoryTree accepts it. Returns an exit code.
int RunDeferredCleanup(tn::ScopedHandle parent, const std::string& install_dir);

}  // namespace sample
