#include "ui/window_impl_base.h"

#include <windowsx.h>

#include "ui/ui_control.h"

namespace DuiLib {

namespace {

// What the default hooks answer: the message goes on to the framework and
// the system, or it stops here with 0.
LRESULT PassOn(BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT Swallow(BOOL& bHandled) {
  bHandled = TRUE;
  return 0;
}

}  // namespace

WindowImplBase::~WindowImplBase() {
  // The window must not outlive the object its procedure points at.
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    HWND hwnd = m_hWnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    ::DestroyWindow(hwnd);
  }
  m_PaintManager.RemovePreMessageFilter(this);
  m_PaintManager.RemoveNotifier(this);
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (NotifyPump(msg)) return;
  if (msg.sType == DUI_MSGTYPE_CLICK) OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  CDuiString name = msg.pSender->GetName();
  if (name == "closebtn") {
    Close();
  } else if (name == "minbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == "maxbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == "restorebtn") {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (uMsg == WM_KEYDOWN) {
    if (wParam == VK_RETURN) {
      bHandled = true;
      return 0;
    }
    if (wParam == VK_ESCAPE) {
      Close(1);
      bHandled = true;
      return 0;
    }
  }
  return 0;
}

CControlUI* WindowImplBase::CreateControl(LPCTSTR) { return nullptr; }

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT lRes = 0;
  BOOL bHandled = TRUE;
  switch (uMsg) {
    case WM_CREATE: lRes = OnCreate(uMsg, wParam, lParam, bHandled); break;
    case WM_CLOSE: lRes = OnClose(uMsg, wParam, lParam, bHandled); break;
    case WM_DESTROY: lRes = OnDestroy(uMsg, wParam, lParam, bHandled); break;
    case WM_NCACTIVATE: lRes = OnNcActivate(uMsg, wParam, lParam, bHandled); break;
    case WM_NCCALCSIZE: lRes = OnNcCalcSize(uMsg, wParam, lParam, bHandled); break;
    case WM_NCPAINT: lRes = OnNcPaint(uMsg, wParam, lParam, bHandled); break;
    case WM_NCHITTEST: lRes = OnNcHitTest(uMsg, wParam, lParam, bHandled); break;
    case WM_GETMINMAXINFO: lRes = OnGetMinMaxInfo(uMsg, wParam, lParam, bHandled); break;
    case WM_SYSCOMMAND: lRes = OnSysCommand(uMsg, wParam, lParam, bHandled); break;
    case WM_DPICHANGED: lRes = OnDpiChanged(uMsg, wParam, lParam, bHandled); break;
    default: bHandled = FALSE; break;
  }
  if (bHandled) return lRes;
  bHandled = FALSE;
  lRes = HandleCustomMessage(uMsg, wParam, lParam, bHandled);
  if (bHandled) return lRes;
  if (m_PaintManager.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  return PassOn(bHandled);
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = TRUE;
  LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
  style &= ~WS_CAPTION;
  ::SetWindowLongA(m_hWnd, GWL_STYLE, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  m_PaintManager.Init(m_hWnd);
  CDuiString folder = GetSkinFolder();
  if (!folder.IsEmpty() && CPaintManagerUI::GetResourcePath().IsEmpty())
    CPaintManagerUI::SetResourcePath(folder);
  CDialogBuilder builder;
  CControlUI* root = builder.Create(GetSkinFile().GetData(), nullptr, this, &m_PaintManager);
  if (!root) {
    CDuiString trace;
    trace.Format("window %s: %s\n", GetWindowClassName(), builder.GetLastErrorMessage().GetData());
    ::OutputDebugStringA(trace);
    return -1;
  }
  m_PaintManager.AttachDialog(root);
  m_PaintManager.AddNotifier(this);
  m_PaintManager.AddPreMessageFilter(this);
  m_PaintManager.ResizeToInitSize();
  InitWindow();
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) { return PassOn(bHandled); }

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) { return PassOn(bHandled); }

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (::IsIconic(m_hWnd)) bHandled = FALSE;
  return wParam == 0 ? TRUE : FALSE;
}

// The whole window is client area: the skin draws the frame.
LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  return Swallow(bHandled);
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  return Swallow(bHandled);
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  bHandled = TRUE;
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ::ScreenToClient(m_hWnd, &pt);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  RECT caption = m_PaintManager.GetScaledCaptionRect();
  if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right &&
      pt.y >= caption.top && pt.y < caption.bottom) {
    if (!m_PaintManager.FindMouseControl(pt)) return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  auto* info = reinterpret_cast<LPMINMAXINFO>(lParam);
  const CDpiScale& scale = m_PaintManager.GetDpiScale();
  SIZE minimum = scale.Scale(m_PaintManager.GetMinInfo());
  SIZE maximum = scale.Scale(m_PaintManager.GetMaxInfo());
  if (minimum.cx > 0) info->ptMinTrackSize.x = minimum.cx;
  if (minimum.cy > 0) info->ptMinTrackSize.y = minimum.cy;
  if (maximum.cx > 0) info->ptMaxTrackSize.x = maximum.cx;
  if (maximum.cy > 0) info->ptMaxTrackSize.y = maximum.cy;
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    bHandled = TRUE;
    SendMessage(WM_CLOSE);
    return 0;
  }
  bHandled = TRUE;
  return ::DefWindowProcA(m_hWnd, uMsg, wParam, lParam);
}

LRESULT WindowImplBase::OnDpiChanged(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  bHandled = TRUE;
  // Fonts, images and layout first, so the resize below lays out once at
  // the new scale.
  m_PaintManager.SetDpi(LOWORD(wParam));
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (suggested && suggested->right > suggested->left && suggested->bottom > suggested->top) {
    ::SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    m_PaintManager.ResizeToInitSize();
  }
  return 0;
}

void WindowImplBase::OnFinalMessage(HWND) {
  m_PaintManager.RemovePreMessageFilter(this);
  m_PaintManager.RemoveNotifier(this);
}

}  // namespace DuiLib
