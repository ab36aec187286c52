// The native window behind a framework window, and the notification pump.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "ui/ui_manager.h"

namespace DuiLib {

#define UI_WNDSTYLE_CONTAINER (0)
#define UI_WNDSTYLE_FRAME (WS_VISIBLE | WS_OVERLAPPEDWINDOW)
#define UI_WNDSTYLE_CHILD (WS_VISIBLE | WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
#define UI_WNDSTYLE_DIALOG \
  (WS_VISIBLE | WS_POPUPWINDOW | WS_CAPTION | WS_DLGFRAME | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
#define UI_WNDSTYLE_EX_FRAME (WS_EX_WINDOWEDGE)
#define UI_WNDSTYLE_EX_DIALOG (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME)
#define UI_CLASSSTYLE_CONTAINER (0)
#define UI_CLASSSTYLE_FRAME (CS_VREDRAW | CS_HREDRAW)
#define UI_CLASSSTYLE_CHILD (CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_SAVEBITS)
#define UI_CLASSSTYLE_DIALOG (CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_SAVEBITS)

class CWindowWnd {
 public:
  CWindowWnd() = default;
  virtual ~CWindowWnd() = default;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Registers the window class named by GetWindowClassName() on first use
  // (CS_DBLCLKS, arrow cursor, no icon, brush or menu) and creates the
  // window. Returns null on failure.
  HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle,
              int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT,
              int cy = CW_USEDEFAULT, HMENU hMenu = nullptr);
  HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT rc,
              HMENU hMenu = nullptr);
  // Hides, shows activated, or shows without activation.
  void ShowWindow(bool bShow = true, bool bTakeFocus = true);
  // Shows the window, disables its owner and pumps messages until the
  // window is destroyed or WM_QUIT arrives. Returns the wParam of the
  // WM_CLOSE posted to the window (0 if none); re-posts WM_QUIT.
  UINT ShowModal();
  // Posts WM_CLOSE with |nRet| if the window exists.
  void Close(UINT nRet = IDOK);
  // Centres on the owner's window rectangle, or on the nearest monitor's
  // work area without (or with a minimised) owner; always kept inside that
  // work area. Size, Z order and activation stay unchanged.
  void CenterWindow();
  void SetIcon(UINT nRes);

  LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  void ResizeClient(int cx = -1, int cy = -1);

  virtual LPCTSTR GetWindowClassName() const = 0;
  virtual UINT GetClassStyle() const { return CS_DBLCLKS; }
  virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  // Called after the window is gone (WM_NCDESTROY); the object may delete
  // itself here.
  virtual void OnFinalMessage(HWND hWnd);

 protected:
  static LRESULT CALLBACK __WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;

 private:
  bool RegisterWindowClass();
};

// Routes notifications to named virtual windows (sub-pages handled by
// their own objects inside one window).
class CNotifyPump {
 public:
  virtual ~CNotifyPump() = default;
  bool AddVirtualWnd(CDuiString strName, CNotifyPump* pObject);
  bool RemoveVirtualWnd(CDuiString strName);
  // Hands |msg| to the virtual window named by msg.sVirtualWnd, if any.
  // True when one took it.
  bool NotifyPump(TNotifyUI& msg);
  // What a virtual window does with a notification; the default ignores it.
  virtual bool OnVirtualNotify(TNotifyUI& msg);

 private:
  std::map<std::string, CNotifyPump*> m_VirtualWndMap;
};

}  // namespace DuiLib
