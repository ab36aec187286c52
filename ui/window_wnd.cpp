#include "ui/window_wnd.h"

#include <algorithm>

namespace DuiLib {

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSA wc = {};
  wc.style = GetClassStyle();
  wc.lpfnWndProc = &CWindowWnd::__WndProc;
  wc.hInstance = CPaintManagerUI::GetInstance();
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = GetWindowClassName();
  if (::RegisterClassA(&wc)) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle,
                        const RECT rc, HMENU hMenu) {
  return Create(hwndParent, pstrName, dwStyle, dwExStyle, rc.left, rc.top, rc.right - rc.left,
                rc.bottom - rc.top, hMenu);
}

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x,
                        int y, int cx, int cy, HMENU hMenu) {
  if (m_hWnd) return nullptr;
  if (!GetWindowClassName() || !RegisterWindowClass()) return nullptr;
  HWND hwnd = ::CreateWindowExA(dwExStyle, GetWindowClassName(), pstrName, dwStyle, x, y, cx, cy,
                                hwndParent, hMenu, CPaintManagerUI::GetInstance(), this);
  if (!hwnd) m_hWnd = nullptr;
  return hwnd;
}

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus) {
  if (!::IsWindow(m_hWnd)) return;
  ::ShowWindow(m_hWnd, bShow ? (bTakeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal() {
  HWND hwnd = m_hWnd;
  if (!::IsWindow(hwnd)) return 0;
  UINT nRet = 0;
  HWND owner = ::GetWindow(hwnd, GW_OWNER);
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  if (owner) ::EnableWindow(owner, FALSE);
  MSG msg = {};
  bool quit = false;
  while (::IsWindow(hwnd)) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      break;
    }
    if (got < 0) break;
    if (msg.message == WM_CLOSE && msg.hwnd == hwnd) {
      nRet = static_cast<UINT>(msg.wParam);
      // The owner must be enabled before this window goes, or Windows
      // activates some other application's window.
      if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetFocus(owner);
      }
    }
    if (!CPaintManagerUI::TranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  if (owner) {
    ::EnableWindow(owner, TRUE);
    ::SetFocus(owner);
  }
  if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
  return nRet;
}

void CWindowWnd::Close(UINT nRet) {
  if (!::IsWindow(m_hWnd)) return;
  ::PostMessageA(m_hWnd, WM_CLOSE, static_cast<WPARAM>(nRet), 0);
}

void CWindowWnd::CenterWindow() {
  if (!::IsWindow(m_hWnd)) return;
  RECT rcDlg;
  ::GetWindowRect(m_hWnd, &rcDlg);
  HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  bool useOwner = owner && !::IsIconic(owner);
  HMONITOR monitor = ::MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  RECT work;
  if (::GetMonitorInfoA(monitor, &info)) {
    work = info.rcWork;
  } else {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  }
  RECT center = work;
  if (useOwner) ::GetWindowRect(owner, &center);

  int width = rcDlg.right - rcDlg.left;
  int height = rcDlg.bottom - rcDlg.top;
  int left = (center.left + center.right) / 2 - width / 2;
  int top = (center.top + center.bottom) / 2 - height / 2;
  // Kept inside the work area; a window larger than it shows its top-left.
  left = std::max<int>(work.left, std::min<int>(left, work.right - width));
  top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
  ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT nRes) {
  if (!::IsWindow(m_hWnd)) return;
  HICON big = static_cast<HICON>(::LoadImageA(
      CPaintManagerUI::GetInstance(), MAKEINTRESOURCEA(nRes), IMAGE_ICON,
      ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED));
  if (big) ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  HICON small = static_cast<HICON>(
      ::LoadImageA(CPaintManagerUI::GetInstance(), MAKEINTRESOURCEA(nRes), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                   LR_DEFAULTCOLOR | LR_SHARED));
  if (small) ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::ResizeClient(int cx, int cy) {
  if (!::IsWindow(m_hWnd)) return;
  RECT rc;
  if (!::GetClientRect(m_hWnd, &rc)) return;
  if (cx != -1) rc.right = cx;
  if (cy != -1) rc.bottom = cy;
  ::AdjustWindowRectEx(&rc, static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)),
                       ::GetMenu(m_hWnd) != nullptr,
                       static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)));
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcA(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CALLBACK CWindowWnd::__WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* self = nullptr;
  if (uMsg == WM_NCCREATE) {
    auto* create = reinterpret_cast<LPCREATESTRUCTA>(lParam);
    self = static_cast<CWindowWnd*>(create->lpCreateParams);
    if (self) {
      self->m_hWnd = hWnd;
      ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (uMsg == WM_NCDESTROY && self) {
      LRESULT result = ::CallWindowProcA(::DefWindowProcA, hWnd, uMsg, wParam, lParam);
      ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
      self->m_hWnd = nullptr;
      self->OnFinalMessage(hWnd);
      return result;
    }
  }
  if (self) return self->HandleMessage(uMsg, wParam, lParam);
  return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// --- CNotifyPump -------------------------------------------------------------

bool CNotifyPump::AddVirtualWnd(CDuiString strName, CNotifyPump* pObject) {
  if (!pObject || strName.IsEmpty()) return false;
  return m_VirtualWndMap.emplace(strName.str(), pObject).second;
}

bool CNotifyPump::RemoveVirtualWnd(CDuiString strName) {
  return m_VirtualWndMap.erase(strName.str()) > 0;
}

bool CNotifyPump::NotifyPump(TNotifyUI& msg) {
  if (msg.sVirtualWnd.IsEmpty()) return false;
  auto it = m_VirtualWndMap.find(msg.sVirtualWnd.str());
  return it != m_VirtualWndMap.end() && it->second->OnVirtualNotify(msg);
}

bool CNotifyPump::OnVirtualNotify(TNotifyUI&) { return false; }

}  // namespace DuiLib
