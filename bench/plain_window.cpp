// The reference for "process start to first painted window": a plain Win32
// window of the installer's size and place (610 x 390, centred, popup
// style), painted white by its class brush, that closes itself a second
// after it is shown.
#include <windows.h>

namespace {

constexpr int kWidth = 610;
constexpr int kHeight = 390;
constexpr UINT_PTR kCloseTimer = 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kCloseTimer) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.lpszClassName = L"TarnisPlainWindow";
  if (!RegisterClassW(&window_class)) return 1;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"plain", WS_POPUP | WS_VISIBLE, x,
                                y, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (!window) return 2;
  UpdateWindow(window);
  SetTimer(window, kCloseTimer, 1000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
