#include "app/installer_main.h"

#include <memory>

#include "app/home_page.h"
#include "app/startup_checks.h"
#include "config/work_dir.h"
#include "ui/UIlib.h"
#include "util/scoped_handle.h"

namespace {

const int kSkinResourceId = 129;
const char kSkinResourceType[] = "ZIP";
// WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER |
// WS_DLGFRAME | WS_SYSMENU | WS_MINIMIZEBOX
const DWORD kMainWindowStyle = 0x96CA0000;

}  // namespace

bool LoadSkinResource(HINSTANCE instance) {
  const void* data = nullptr;
  DWORD size = 0;
  if (!LoadResourceBytes(instance, kSkinResourceId, kSkinResourceType, &data, &size)) return false;
  DuiLib::CPaintManagerUI::SetInstance(instance);
  return DuiLib::CPaintManagerUI::SetResourceZip(const_cast<void*>(data), size);
}

int RunInstaller(HINSTANCE instance) {
  // A "<exe>.local" folder or file next to the installer would redirect the
  // system libraries it loads; nobody legitimate puts one beside a setup.
  if (HasDllRedirection(CurrentModulePath())) return 0;
  RestrictDllSearchToSystemFolder();

  // Without its skin the main window cannot be built: stop after the box.
  if (!LoadSkinResource(instance)) {
    MessageBoxA(nullptr, kSkinLoadFailedText, kSkinErrorCaption, MB_ICONERROR);
    return 0;
  }
  if (!IsUserAdmin()) {
    MessageBoxA(nullptr, kNotAdminText, kSetupCaption, MB_ICONWARNING);
    return 0;
  }
  static_cast<void>(SetCompatAssistantFlag());
  if (IsSimulatorRunning()) {
    MessageBoxA(nullptr, kProductRunningText, kSetupCaption, MB_ICONWARNING);
    return 0;
  }
  // Held until the installer ends; a creation failure only loses the guard.
  tn::ScopedHandle mutex(CreateMutexA(nullptr, FALSE, kInstallerMutexName));
  if (mutex.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS) {
    MessageBoxA(nullptr, kAlreadyRunningText, kSetupCaption, MB_OK);
    return 0;
  }

  auto home = std::make_unique<UI_HomePage>();
  if (!home->Create(nullptr, "TNInstall", kMainWindowStyle, WS_EX_WINDOWEDGE, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT)) {
    // The package is there but a page layout in it is damaged.
    MessageBoxA(nullptr, kSkinLoadFailedText, kSkinErrorCaption, MB_ICONERROR);
    return 0;
  }
  home->CenterWindow();
  home->ShowModal();
  home.reset();
  return 0;
}
