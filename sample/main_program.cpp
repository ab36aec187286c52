// The product's main program: a small window that says what is installed
// where. Started from the installer's finish page and from its shortcuts.
#include <windows.h>

#include <string>

#include "sample/launch_record.h"
#include "sample/product_names.h"
#include "util/scoped_gdi.h"

namespace {

constexpr char kWindowClass[] = "TarnisSampleMainWindow";

struct WindowText {
  std::string lines;
  HFONT font = nullptr;
};

std::string InstallDirectory() {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string directory(path, length < sizeof(path) ? length : 0);
  const size_t slash = directory.find_last_of('\\');
  return slash == std::string::npos ? directory : directory.substr(0, slash);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* text = reinterpret_cast<WindowText*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_CREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      FillRect(dc, &area, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
      InflateRect(&area, -20, -20);
      if (text) {
        HGDIOBJ old_font =
            SelectObject(dc, text->font ? text->font : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text->lines.c_str(), -1, &area,
                  DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old_font);
      }
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int show_command) {
  sample::AppendLaunchRecord("start");

  WindowText text;
  text.lines = std::string(sample::kProductName) + "  版本 " + sample::kProductVersion +
               "\r\n\r\n安卓模拟器已就绪。\r\n安装位置：" + InstallDirectory() + "\r\n启动参数：" +
               (arguments && *arguments ? arguments : "（无）");
  text.font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, "Microsoft YaHei");
  const tn::ScopedFont font_owner(text.font);

  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassExA(&window_class)) return 1;

  HWND window =
      CreateWindowExA(0, kWindowClass, sample::kProductName,
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                      CW_USEDEFAULT, 520, 260, nullptr, nullptr, instance, &text);
  if (!window) return 1;
  // The first ShowWindow takes the show command the starter asked for.
  ShowWindow(window, show_command);
  UpdateWindow(window);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
