// Making room for the new installation: ending the product's programs and
// removing what an earlier installation left (its directory, its Start-menu
// folders, the files and folders of its delete list, its shortcuts, taskbar
// pin and auto-start entry). Everything here runs as administrator on paths
// taken from the registry and from a file ordinary users may be able to
// write, so every path is checked before anything is deleted.
#pragma once

#include <string>

#include "actions/install_state.h"

// Name of the product's folder in the Start menu's programs, fixed.
constexpr char kStartMenuFolderName[] = "ZEVodirodaz";
// Name of the delete list beside the previous install directory.
constexpr char kDeleteListFileName[] = "DeleteFile.xml";

// True for "X:\" followed by at least one folder name, on a drive that is
// not a network drive. Not normalised: "C:\a\..\b" is absolute too.
bool IsLocalAbsolutePath(const std::string& path);

// True when a directory may be removed as a previous installation: a local
// absolute path at least one folder below a drive root that is none of the
// system's protected folders (IsRemovableTreePath).
bool IsRemovablePreviousInstallDir(const std::string& directory);

// Ends every running program named in the configuration's KILL_PROGRESS
// "Progress" list (";"-separated, compared as TerminateProcessesByName
// does), then pauses 300 ms.
void TerminateConfiguredProcesses();

// Removes "<programs>\ZEVodirodaz" from the current user's and from the
// all-users Start menu. A special folder that cannot be resolved is skipped.
void RemoveStartMenuFolders();

// Reads "DeleteFile.xml" from the folder that contains |old_install_dir| and
// deletes its file entries (DeleteFiles) and folder trees (DeleteFolders),
// in order. Entries that are empty, not local absolute paths, or protected
// folders are skipped; a missing or malformed list does nothing. A link is
// deleted as the link, never followed.
void DeleteListedFiles(const std::string& old_install_dir);

// Removes |old_install_dir| with its tree, pauses 100 ms, then removes the
// directory once more should it still be there (it goes only when empty).
void RemovePreviousInstallDirectory(const std::string& old_install_dir);

// The whole removal of the installation in |state.m_strOldInstallDir|, with
// the names of the running installer's configuration; nothing when it is
// empty. Ends with a 200 ms pause.
void RemovePreviousInstallation(const InstallState& state);
