// The product's shell links: Start menu, desktop, Quick Launch with its
// taskbar pin, and the auto-start link in the Startup folder; and their
// removal before a new installation. Every link gets exactly three
// properties: its target, an empty description and the show command
// SW_SHOW. COM is initialised and uninitialised around each call.
#pragma once

#include <string>

class CInstallJournal;

// Name of the product's folder in the Start menu's programs, fixed.
constexpr char kStartMenuFolderName[] = "ZEVodirodaz";

// Where CreateShortcut puts a link.
enum ShortcutPlace {
  Desktop = 1,      // the user's desktop
  QuickLaunch = 2,  // the user's Quick Launch folder; the link is then pinned or unpinned
  StartMenu = 3,    // "<Start menu>\Programs\ZEVodirodaz", created when missing
};

// The user's Quick Launch folder: application data followed by
// "\Microsoft\Internet Explorer\Quick Launch"; empty when the
// application-data folder cannot be resolved.
std::string QuickLaunchFolder();

// Saves "<folder of |place|>\<name>.lnk" pointing at |target|. For
// QuickLaunch the shell verb "TaskbarUnpin" (|unpin|) or "TaskbarPin" is
// then invoked on the link file, saved or not. True when the link was saved;
// false, writing nothing, when the folder cannot be resolved.
bool CreateShortcut(ShortcutPlace place, const std::string& target, const std::string& name,
                    bool unpin);

// Writes, into |startup_folder|, one link per "AutoRunName1" entry of the
// configuration section AUTO_RUN: named after the program without its last
// four characters, pointing at |install_dir|\<program>.
void CreateAutoStartShortcut(const std::string& startup_folder, const std::string& install_dir);

// The removals below move an earlier installation's links aside through
// |journal| (never null) instead of deleting them, so that a failed
// installation can put them back.

// Removes "<desktop>\<display name>.exe.lnk", or, only when there is none,
// "<desktop>\<display name>.lnk".
void RemoveDesktopShortcut(const std::string& display_name, CInstallJournal* journal);

// Removes the Quick Launch link "<display name>.lnk"; before Windows 10 it
// then re-creates it for |old_main_program|, unpins it from the taskbar and
// deletes it again (journalled when the program was pinned).
void UnpinFromTaskbar(const std::string& old_main_program, const std::string& display_name,
                      CInstallJournal* journal);

// Removes the auto-start links that CreateAutoStartShortcut makes from the
// user's Startup folder.
void RemoveAutoStartShortcut(CInstallJournal* journal);
