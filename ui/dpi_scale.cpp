#include "ui/dpi_scale.h"

#include "util/scoped_gdi.h"
#include "util/scoped_handle.h"

namespace DuiLib {

namespace {

typedef UINT(WINAPI* GetDpiForWindowFunction)(HWND);
// MDT_EFFECTIVE_DPI = 0; the enum lives in shellscalingapi.h, which older
// headers lack.
typedef HRESULT(WINAPI* GetDpiForMonitorFunction)(HMONITOR, int, UINT*, UINT*);

bool Plausible(long long dpi) { return dpi >= kMinDpi && dpi <= kMaxDpi; }

}  // namespace

int ScaleLength(int length, int dpi) {
  if (dpi == kDefaultDpi) return length;
  long long product = static_cast<long long>(length) * dpi;
  long long half = kDefaultDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kDefaultDpi
                                       : -((-product + half) / kDefaultDpi));
}

void CDpiScale::SetDpi(int dpi) { m_dpi = Plausible(dpi) ? dpi : kDefaultDpi; }

int QueryWindowDpi(HWND hwnd) {
  // Looked up at run time: the installer must start on Windows 7, which
  // has neither function.
  if (hwnd) {
    if (HMODULE user32 = ::GetModuleHandleA("user32.dll")) {
      auto forWindow = reinterpret_cast<GetDpiForWindowFunction>(
          reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
      if (forWindow) {
        UINT dpi = forWindow(hwnd);
        if (Plausible(dpi)) return static_cast<int>(dpi);
      }
    }
    // shcore.dll is a system library (Windows 8.1 and later); the DLL
    // search path is restricted to the system folder by the installer.
    tn::ScopedLibrary shcore(
        ::LoadLibraryExA("shcore.dll", nullptr, 0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */));
    if (shcore.IsValid()) {
      auto forMonitor = shcore.GetProc<GetDpiForMonitorFunction>("GetDpiForMonitor");
      UINT x = 0, y = 0;
      bool ok = forMonitor && SUCCEEDED(forMonitor(
                                  ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), 0, &x, &y));
      if (ok && Plausible(x)) return static_cast<int>(x);
    }
  }
  int dpi = 0;
  tn::ScopedGetDC screen(nullptr);
  if (screen) dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
  return Plausible(dpi) ? dpi : kDefaultDpi;
}

std::string ImageVariantPath(const std::string& path, int percent) {
  const char* suffix = percent == 200 ? "@2x" : percent == 150 ? "@1.5x" : nullptr;
  if (!suffix) return path;
  size_t slash = path.find_last_of("\\/");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + suffix;
  return path.substr(0, dot) + suffix + path.substr(dot);
}

}  // namespace DuiLib
