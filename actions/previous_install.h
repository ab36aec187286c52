// Making room for the new installation: ending the product's programs and
// removing what an earlier installation left (its directory, its Start-menu
// folders, the files and folders of its delete list, its shortcuts, taskbar
// pin and auto-start entry). Everything here runs as administrator on paths
// taken from the registry and from a file ordinary users may be able to
// write, so every path is checked before anything is moved.
#pragma once

#include <string>

#include "actions/install_journal.h"
#include "actions/install_state.h"

// Name of the delete list beside the previous install directory.
constexpr char kDeleteListFileName[] = "DeleteFile.xml";

// True for "X:\" followed by at least one folder name, on a drive that is
// not a network drive. Not normalised: "C:\a\..\b" is absolute too.
bool IsLocalAbsolutePath(const std::string& path);

// True when a directory may be removed as a previous installation: a local
// absolute path at least one folder below a drive root that is none of the
// system's protected folders (IsRemovableTreePath) and not inside the
// Windows folder.
bool IsRemovablePreviousInstallDir(const std::string& directory);

// Ends every running program named in the configuration's KILL_PROGRESS
// "Progress" list (";"-separated, compared as TerminateProcessesByName
// does), then pauses 300 ms (|keep_alive| runs meanwhile).
void TerminateConfiguredProcesses(const KeepAlive& keep_alive = KeepAlive());

// The removals below never delete: they move what they remove aside
// through |journal| (never null), so that a failed installation can put
// the earlier one back and a finished one deletes the backups (Commit).

// Removes "<programs>\ZEVodirodaz" from the current user's and from the
// all-users Start menu. A special folder that cannot be resolved is skipped.
void RemoveStartMenuFolders(CInstallJournal* journal);

// Reads "DeleteFile.xml" from the folder that contains |old_install_dir| and
// removes its file entries (DeleteFiles) and folder trees (DeleteFolders),
// in order. Entries that are empty, not local absolute paths, protected
// folders, or the Windows folder or anything in it are skipped, as are a
// file entry naming a folder and a folder entry naming a file, and an entry
// that cannot be moved (in use); a missing or malformed list does nothing. A
// link is removed as the link, never followed. The checks that are the same
// for every entry are made once per list; |keep_alive| runs between entries.
void DeleteListedFiles(const std::string& old_install_dir, CInstallJournal* journal,
                       const KeepAlive& keep_alive = KeepAlive());

// Removes |old_install_dir| with its tree, then pauses 100 ms. False when it
// is there and cannot be moved aside (on Windows: a file in it is open);
// true also when there is nothing to remove or it may not be removed.
bool RemovePreviousInstallDirectory(const std::string& old_install_dir, CInstallJournal* journal,
                                    const KeepAlive& keep_alive = KeepAlive());

// The whole removal of the installation in |state.m_strOldInstallDir|, with
// the names of the running installer's configuration: desktop link,
// Start-menu folders, Quick Launch link and taskbar pin, the delete list,
// the auto-start links, the directory; nothing when it is empty. Ends with
// a 200 ms pause. False when the installation must not go on: before
// anything is touched when a file of the earlier directory is held open by
// another program, or when the directory itself cannot be moved aside (the
// steps before it are then in |journal| for the caller to roll back).
bool RemovePreviousInstallation(const InstallState& state, CInstallJournal* journal,
                                const KeepAlive& keep_alive = KeepAlive());
