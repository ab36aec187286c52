#include "actions/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "actions/install_journal.h"
#include "config/ini_info_manager.h"
#include "util/file_util.h"
#include "util/scoped_handle.h"
#include "util/text_encoding.h"
#include "util/windows_version.h"

namespace {

constexpr char kQuickLaunchSubfolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";
// Where the taskbar keeps a copy of every pinned link, inside Quick Launch.
constexpr char kPinnedSubfolder[] = "\\User Pinned\\TaskBar";
constexpr char kAutoRunSection[] = "AUTO_RUN";
constexpr char kAutoRunKey[] = "AutoRunName1";

// A special folder through its item list, as the shell names it; empty when
// the shell cannot name it.
std::string SpecialFolderByLocation(int csidl) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return std::string();
  char path[MAX_PATH] = {};
  const BOOL named = SHGetPathFromIDListA(items, path);
  CoTaskMemFree(items);
  return named ? std::string(path) : std::string();
}

// A special folder without creating it, into a zeroed 255-byte buffer.
std::string SpecialFolderPath(int csidl) {
  char path[255] = {};
  if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return std::string();
  return path;
}

std::string PlaceFolder(ShortcutPlace place) {
  switch (place) {
    case Desktop: return SpecialFolderByLocation(CSIDL_DESKTOP);
    case QuickLaunch: {
      const std::string app_data = SpecialFolderByLocation(CSIDL_APPDATA);
      return app_data.empty() ? app_data : app_data + kQuickLaunchSubfolder;
    }
    case StartMenu: {
      const std::string start_menu = SpecialFolderByLocation(CSIDL_STARTMENU);
      if (start_menu.empty()) return start_menu;
      const std::string folder = start_menu + "\\Programs\\" + kStartMenuFolderName;
      // One level; an existing folder is fine.
      static_cast<void>(CreateDirectoryA(folder.c_str(), nullptr));
      return folder;
    }
  }
  return std::string();
}

// Saves one link with the three properties every product link has. COM must
// be initialised on the calling thread.
bool SaveLink(const std::string& target, const std::string& link_path) {
  tn::ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.ReceiveVoid()))) {
    return false;
  }
  link->SetPath(target.c_str());
  link->SetDescription("");
  link->SetShowCmd(SW_SHOW);
  tn::ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file, IID_IPersistFile))) return false;
  // Link file names are UTF-16: a Chinese display name keeps its characters
  // whatever the system's code page.
  return SUCCEEDED(file->Save(AnsiPathToWide(link_path).c_str(), TRUE));
}

// The auto-start programs' link names: each AutoRunName1 value without its
// last four characters (".exe"), or whole when shorter.
template <typename Visit>
void ForEachAutoRunProgram(Visit visit) {
  CIniInfoList records;
  CIniInfoManager::GetInstance()->GetSectionData(kAutoRunSection, &records);
  for (const CIniInfoData* record : records) {
    if (record->m_strKey != kAutoRunKey) continue;
    const std::string& program = record->m_strValue;
    visit(program, program.size() >= 4 ? program.substr(0, program.size() - 4) : program);
  }
}

}  // namespace

std::string QuickLaunchFolder() {
  const std::string app_data = SpecialFolderPath(CSIDL_APPDATA);
  return app_data.empty() ? app_data : app_data + kQuickLaunchSubfolder;
}

bool CreateShortcut(ShortcutPlace place, const std::string& target, const std::string& name,
                    bool unpin) {
  std::string link_path;
  bool saved = false;
  {
    tn::ScopedComInit com;
    const std::string folder = PlaceFolder(place);
    if (folder.empty()) return false;
    link_path = folder + "\\" + name + ".lnk";
    saved = SaveLink(target, link_path);
  }
  if (place == QuickLaunch) {
    // Pinning is the shell's business; its answer is not acted upon.
    static_cast<void>(ShellExecuteA(nullptr, unpin ? "TaskbarUnpin" : "TaskbarPin",
                                    link_path.c_str(), nullptr, nullptr, SW_SHOW));
  }
  return saved;
}

void CreateAutoStartShortcut(const std::string& startup_folder, const std::string& install_dir) {
  if (startup_folder.empty()) return;
  ForEachAutoRunProgram([&](const std::string& program, const std::string& link_name) {
    tn::ScopedComInit com;
    static_cast<void>(
        SaveLink(install_dir + "\\" + program, startup_folder + "\\" + link_name + ".lnk"));
  });
}

void RemoveDesktopShortcut(const std::string& display_name, CInstallJournal* journal) {
  const std::string desktop = SpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
  if (desktop.empty()) return;
  if (journal->MoveAside(desktop + "\\" + display_name + ".exe.lnk") !=
      CInstallJournal::MoveResult::kMoved) {
    static_cast<void>(journal->MoveAside(desktop + "\\" + display_name + ".lnk"));
  }
}

void UnpinFromTaskbar(const std::string& old_main_program, const std::string& display_name,
                      CInstallJournal* journal) {
  const std::string folder = QuickLaunchFolder();
  if (folder.empty()) return;
  const std::string link = folder + "\\" + display_name + ".lnk";
  static_cast<void>(journal->MoveAside(link));
  if (!IsNtVersion10()) {
    // A rollback pins the earlier program again only if it was pinned.
    if (GetFileAttributesA((folder + kPinnedSubfolder + "\\" + display_name + ".lnk").c_str()) !=
        INVALID_FILE_ATTRIBUTES) {
      journal->RecordUnpinned(old_main_program, display_name);
    }
    // The pin belongs to a link; re-create it to have something to unpin.
    static_cast<void>(CreateShortcut(QuickLaunch, old_main_program, display_name, true));
  }
  // The link made for unpinning, not the earlier installation's.
  if (FileExists(link)) static_cast<void>(DeleteFileA(link.c_str()));
}

void RemoveAutoStartShortcut(CInstallJournal* journal) {
  const std::string startup = SpecialFolderPath(CSIDL_STARTUP);
  if (startup.empty()) return;
  ForEachAutoRunProgram([&](const std::string&, const std::string& link_name) {
    static_cast<void>(journal->MoveAside(startup + "\\" + link_name + ".lnk"));
  });
}
