// tn_skin_viewer: shows one layout of a skin package in a window titled
// "TNSkinViewer", for people and end-to-end tests to look at.
//
//   tn_skin_viewer.exe <layout.xml> [skin.zip] [--dump <file>] [--timing <file>]
//
// The package defaults to skin\skin.zip beside the program. --dump appends
// every notification ("click:btn_install") while the window runs and, when
// it closes, "name=text" of every named control (options add
// "|selected=0/1"), in GBK. --timing measures the time from window creation
// to the end of the first paint, for the skinned window and for a plain
// Win32 window shown before and after it, writes "skinned_ms=...",
// "plain_ms=..." and "plain_after_ms=..." and exits; "skinned_created_ms" is
// the part until the window is built (layout, fonts), "skinned_cpu_ms" the
// user-interface thread's CPU time over the same span, "dpi" the DPI the
// window was drawn for.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/UIlib.h"
#include "util/scoped_gdi.h"
#include "util/scoped_handle.h"

namespace {

using namespace DuiLib;

const char kViewerTitle[] = "TNSkinViewer";
const UINT kFirstPaintDone = WM_APP + 1;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// CPU time (user and kernel) of the calling thread.
double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) /
           1e4;
  };
  return ms(kernel) + ms(user);
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
  tn::ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  DWORD size = ::GetFileSize(file.Get(), nullptr);
  bool ok = size != INVALID_FILE_SIZE && size < (256u << 20);
  if (ok) {
    bytes->resize(size);
    DWORD read = 0;
    ok = size == 0 || (::ReadFile(file.Get(), &(*bytes)[0], size, &read, nullptr) && read == size);
  }
  return ok;
}

void AppendLine(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  tn::ScopedHandle file(::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                                      nullptr));
  if (!file) return;
  std::string text = line + "\r\n";
  DWORD written = 0;
  ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void DumpControls(CControlUI* control, const std::string& path) {
  if (!control) return;
  if (!control->GetName().IsEmpty()) {
    std::string line = control->GetName().str() + "=" + control->GetText().str();
    if (auto* option = static_cast<COptionUI*>(control->GetInterface("Option")))
      line += option->IsSelected() ? "|selected=1" : "|selected=0";
    AppendLine(path, line);
  }
  if (auto* container = static_cast<IContainerUI*>(control->GetInterface("IContainer"))) {
    for (int i = 0; i < container->GetCount(); ++i) DumpControls(container->GetItemAt(i), path);
  }
}

class ViewerWindow : public WindowImplBase {
 public:
  ViewerWindow(std::string layout, std::string dump)
      : layout_(std::move(layout)), dump_(std::move(dump)) {}

  CDuiString GetSkinFile() override { return layout_; }
  LPCTSTR GetWindowClassName() const override { return kViewerTitle; }

  void Notify(TNotifyUI& msg) override {
    AppendLine(dump_, msg.sType.str() + ":" +
                          (msg.pSender ? msg.pSender->GetName().str() : std::string()));
    // The frame buttons of the installer's layouts work here too.
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
      if (msg.pSender->GetName() == "btn_close") Close(0);
      if (msg.pSender->GetName() == "btn_mini") ::ShowWindow(m_hWnd, SW_MINIMIZE);
    }
    WindowImplBase::Notify(msg);
  }

  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) override {
    DumpControls(m_PaintManager.GetRoot(), dump_);
    bHandled = FALSE;
    return 0;
  }

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_PAINT && !painted_) {
      LRESULT result = WindowImplBase::HandleMessage(uMsg, wParam, lParam);
      painted_ = true;
      firstPaintMs_ = NowMs();
      firstPaintCpuMs_ = ThreadCpuMs();
      ::PostMessageA(m_hWnd, kFirstPaintDone, 0, 0);
      return result;
    }
    if (uMsg == WM_DESTROY) ::PostQuitMessage(0);
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
  }

  double firstPaintMs() const { return firstPaintMs_; }
  double firstPaintCpuMs() const { return firstPaintCpuMs_; }

 private:
  std::string layout_;
  std::string dump_;
  bool painted_ = false;
  double firstPaintMs_ = 0;
  double firstPaintCpuMs_ = 0;
};

// The plain window of the timing comparison.
double g_plainPaintMs = 0;
LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    {
      tn::ScopedPaintDC paint(hwnd);
      ::FillRect(paint.Get(), &paint.PaintRect(),
                 static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    if (g_plainPaintMs == 0) g_plainPaintMs = NowMs();
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Pumps until |done| holds or |timeout_ms| passes.
template <typename Done>
void PumpUntil(Done done, double timeout_ms) {
  double deadline = NowMs() + timeout_ms;
  MSG msg;
  while (!done() && NowMs() < deadline) {
    if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
}

double TimePlainWindow(int x, int y) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "TNPlainWindow";
  ::RegisterClassA(&wc);
  double start = NowMs();
  HWND hwnd = ::CreateWindowExA(0, "TNPlainWindow", "TNPlainWindow", WS_POPUP | WS_VISIBLE, x, y,
                                610, 390, nullptr, nullptr, wc.hInstance, nullptr);
  if (!hwnd) return -1;
  PumpUntil([] { return g_plainPaintMs != 0; }, 5000);
  double elapsed = g_plainPaintMs ? g_plainPaintMs - start : -1;
  ::DestroyWindow(hwnd);
  return elapsed;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::vector<std::string> positional;
  std::string dump, timing;
  for (int i = 1; i < __argc; ++i) {
    std::string arg = __argv[i];
    if (arg == "--dump" && i + 1 < __argc)
      dump = __argv[++i];
    else if (arg == "--timing" && i + 1 < __argc)
      timing = __argv[++i];
    else
      positional.push_back(arg);
  }
  if (positional.empty()) {
    ::MessageBoxA(nullptr,
                  "usage: tn_skin_viewer <layout.xml> [skin.zip] [--dump file] [--timing file]",
                  kViewerTitle, MB_OK | MB_ICONINFORMATION);
    return 2;
  }
  std::string zipPath = positional.size() > 1 ? positional[1] : std::string();
  if (zipPath.empty()) {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    zipPath = module;
    zipPath = zipPath.substr(0, zipPath.find_last_of('\\') + 1) + "skin\\skin.zip";
  }
  static std::string package;  // must outlive every window: it is not copied
  if (!ReadFileBytes(zipPath, &package) ||
      !CPaintManagerUI::SetResourceZip(&package[0], static_cast<unsigned int>(package.size()))) {
    std::string text = "cannot read the skin package " + zipPath;
    if (timing.empty()) ::MessageBoxA(nullptr, text.c_str(), kViewerTitle, MB_OK | MB_ICONERROR);
    return 3;
  }
  CPaintManagerUI::SetInstance(instance);

  double plainMs = 0;
  if (!timing.empty()) plainMs = TimePlainWindow(40, 40);

  ViewerWindow window(positional[0], dump);
  double start = NowMs();
  double startCpu = ThreadCpuMs();
  if (!window.Create(nullptr, kViewerTitle, WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0,
                     0, 0)) {
    std::string text = "cannot build the layout " + positional[0];
    if (timing.empty()) ::MessageBoxA(nullptr, text.c_str(), kViewerTitle, MB_OK | MB_ICONERROR);
    return 4;
  }
  double createdMs = NowMs() - start;
  window.CenterWindow();
  if (!timing.empty()) {
    window.ShowWindow(true);
    PumpUntil([&] { return window.firstPaintMs() != 0; }, 5000);
    double skinnedMs = window.firstPaintMs() - start;
    // A second plain window, once the process has shown windows: the first
    // one also pays for setting up the display connection.
    g_plainPaintMs = 0;
    double plainAfterMs = TimePlainWindow(60, 60);
    char line[200];
    std::snprintf(
        line, sizeof(line),
        "skinned_ms=%.2f\r\nskinned_created_ms=%.2f\r\nskinned_cpu_ms=%.2f\r\nplain_ms=%.2f\r\n"
        "plain_after_ms=%.2f\r\ndpi=%d",
        skinnedMs, createdMs, window.firstPaintCpuMs() - startCpu, plainMs, plainAfterMs,
        window.GetPaintManager().GetDpi());
    AppendLine(timing, line);
    return 0;
  }
  UINT result = window.ShowModal();
  return static_cast<int>(result);
}
