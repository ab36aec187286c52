// The per-window heart of the framework: owns the control tree of a window,
// paints it double-buffered, routes mouse and keyboard input to controls and
// delivers their notifications. Also holds the process-wide skin source
// (an in-memory ZIP or a folder) and the module instance.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/dpi_scale.h"
#include "ui/ui_string.h"

namespace DuiLib {

class CControlUI;
class CFocusNavigator;
class CAccessibleWindow;

#define DUI_MSGTYPE_CLICK "click"
#define DUI_MSGTYPE_SELECTCHANGED "selectchanged"
#define DUI_MSGTYPE_TABSELECT "tabselect"
#define DUI_MSGTYPE_TEXTCHANGED "textchanged"
#define DUI_MSGTYPE_SETFOCUS "setfocus"
#define DUI_MSGTYPE_KILLFOCUS "killfocus"
#define DUI_MSGTYPE_WINDOWINIT "windowinit"
#define DUI_MSGTYPE_VALUECHANGED "valuechanged"

// The window property (SetPropA) by which a native child window of a
// framework window, such as an open edit field, names its control.
constexpr char kControlWindowProperty[] = "DuiLib.Control";

struct TNotifyUI {
  CDuiString sType;
  CDuiString sVirtualWnd;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse = {0, 0};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual void Notify(TNotifyUI& msg) = 0;

 protected:
  ~INotifyUI() = default;
};

class IMessageFilterUI {
 public:
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

// Input events the manager hands to controls (client coordinates).
enum UIEventType {
  UIEVENT_MOUSEMOVE = 1,
  UIEVENT_MOUSEENTER,
  UIEVENT_MOUSELEAVE,
  UIEVENT_BUTTONDOWN,
  UIEVENT_BUTTONUP,
  UIEVENT_DBLCLICK,
  UIEVENT_SCROLLWHEEL,
  UIEVENT_SETFOCUS,
  UIEVENT_KILLFOCUS,
  UIEVENT_KEYDOWN,
  UIEVENT_CHAR,
};

struct TEventUI {
  int Type = 0;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse = {0, 0};
  TCHAR chKey = 0;
  WORD wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct TFontInfo;
struct TImageInfo;

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // --- process-wide ---------------------------------------------------------
  // Also registers the drop-shadow window class ("DuiShadow") when the
  // system has layered windows.
  static void SetInstance(HINSTANCE hInst);
  static HINSTANCE GetInstance();
  // The skin package: |data| must stay valid and unchanged for as long as
  // skin files are read (it is not copied). Returns false, and forgets any
  // earlier package, when the bytes are not a readable ZIP.
  static bool SetResourceZip(LPVOID data, unsigned int size);
  // A folder to read skin files from when no package is set (ends with or
  // without a backslash).
  static void SetResourcePath(LPCTSTR path);
  static CDuiString GetResourcePath();
  // Reads a skin file (from the package, else from the resource path).
  // Names use "\" or "/" and ignore letter case inside the package.
  static bool LoadSkinFile(LPCTSTR name, std::string* bytes);
  // Runs the pre-message filters of the window that owns |msg| (or of its
  // nearest framework ancestor). True when a filter handled it; the message
  // must then not be dispatched.
  static bool TranslateMessage(const LPMSG msg);
  // Every window forgets |pControl| (called when a control is deleted).
  static void ForgetControl(CControlUI* pControl);
  // Pumps messages (with the pre-message filters) until WM_QUIT.
  static void MessageLoop();
  // Frees the shared image cache (GDI bitmaps); images load again on use.
  static void ClearImageCache();

  // --- per window -----------------------------------------------------------
  void Init(HWND hWnd);
  HWND GetPaintWindow() const { return m_hWndPaint; }
  // Makes |pControl| the root of this window, replacing (and deleting) an
  // earlier root this manager still owns.
  bool AttachDialog(CControlUI* pControl);
  CControlUI* GetRoot() const { return m_pRoot; }
  // The first control with |name| in this window's trees, or null.
  CControlUI* FindControl(LPCTSTR name) const;
  // The topmost visible control at |pt| (client coordinates), or null.
  CControlUI* FindControl(POINT pt) const;
  // Like FindControl(POINT) but only controls that take the mouse.
  CControlUI* FindMouseControl(POINT pt) const;

  bool AddNotifier(INotifyUI* pNotifier);
  bool RemoveNotifier(INotifyUI* pNotifier);
  bool AddPreMessageFilter(IMessageFilterUI* pFilter);
  bool RemovePreMessageFilter(IMessageFilterUI* pFilter);
  bool AddMessageFilter(IMessageFilterUI* pFilter);
  bool RemoveMessageFilter(IMessageFilterUI* pFilter);

  // Delivers a notification: first to the sender's OnNotify handlers, then
  // to the window's notifiers.
  void SendNotify(CControlUI* pControl, LPCTSTR pstrMessage, WPARAM wParam = 0, LPARAM lParam = 0);
  void SendNotify(TNotifyUI& msg);

  // The DPI the window is drawn for: taken from the window's monitor by
  // Init, changed by SetDpi. Skin lengths stay at their 96-DPI values; the
  // framework scales them with GetDpiScale where it places and paints.
  const CDpiScale& GetDpiScale() const { return m_dpiScale; }
  int GetDpi() const { return m_dpiScale.GetDpi(); }
  // Draws the window for |dpi| from now on: fonts are made anew at the new
  // size, every control hears of it (OnDpiChanged) and the tree is laid out
  // again. The window's size is the caller's business (WM_DPICHANGED gives
  // the new rectangle). Control state (texts, selection, pages) is kept.
  void SetDpi(int dpi);

  // Window attributes from the layout's Window element, as the skin gives
  // them (96-DPI pixels); the Scaled forms are device pixels.
  SIZE GetInitSize() const { return m_szInitWindowSize; }
  SIZE GetScaledInitSize() const { return m_dpiScale.Scale(m_szInitWindowSize); }
  RECT GetScaledCaptionRect() const { return m_dpiScale.Scale(m_rcCaption); }
  // Also resizes the window (see ResizeToInitSize).
  void SetInitSize(int cx, int cy);
  // Gives the window the layout's size at the current DPI, in place; nothing
  // without a window or without a size in the layout.
  void ResizeToInitSize();
  RECT GetCaptionRect() const { return m_rcCaption; }
  void SetCaptionRect(const RECT& rc) { m_rcCaption = rc; }
  SIZE GetMinInfo() const { return m_szMinWindow; }
  void SetMinInfo(int cx, int cy) { m_szMinWindow = {cx, cy}; }
  SIZE GetMaxInfo() const { return m_szMaxWindow; }
  void SetMaxInfo(int cx, int cy) { m_szMaxWindow = {cx, cy}; }
  void SetWindowAttribute(LPCTSTR pstrName, LPCTSTR pstrValue);

  // Fonts by id from the font table; null id or unknown id gives the default.
  void AddFont(int id, LPCTSTR pStrFontName, int nSize, bool bBold, bool bUnderline, bool bItalic,
               bool bDefault = false);
  HFONT GetFont(int id) const;
  HFONT GetDefaultFont() const;
  // Image from the skin by its path ("image\x.bmp"), cached process-wide;
  // null when missing or not a readable 24-bit bitmap.
  const TImageInfo* GetImage(LPCTSTR bitmap);

  void Invalidate(const RECT& rc);
  void NeedUpdate() { m_bUpdateNeeded = true; }
  CControlUI* GetFocus() const { return m_pFocus; }
  void SetFocus(CControlUI* pControl);
  // Tab order, keyboard activation and the focus cue of this window.
  CFocusNavigator& GetFocusNavigator() { return *m_pFocusNavigator; }
  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return m_bMouseCapture; }
  // Forgets every reference to |pControl| (hot, pushed, focus, names). The
  // control is not deleted.
  void ReapObjects(CControlUI* pControl);
  // Forgets |pControl| as hot, pushed or focused control only (it moved to
  // another window; its name still finds it here).
  void ForgetInput(CControlUI* pControl);
  // Records names of |pControl| and its subtree (the first of equal names
  // stays registered).
  void InitControls(CControlUI* pControl);

  // Handles the window's messages for the control tree. Returns true and
  // sets |lRes| when the message was handled.
  bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

  // Paints the control tree into |hdc| (used by WM_PAINT and by tests).
  void PaintTo(HDC hdc, const RECT& rcPaint);

 private:
  void UpdateLayout();
  void SetHot(CControlUI* pControl, POINT pt);
  // Asks each of |registered| in turn until one handles the message.
  static bool RunFilters(const std::vector<IMessageFilterUI*>& registered, UINT uMsg, WPARAM wParam,
                         LPARAM lParam, LRESULT& lRes);

  // The groups of MessageHandler. Those that return bool say whether the
  // message was handled.
  void OnPaint();
  void OnSize();
  void OnMouseMove(WPARAM wParam, LPARAM lParam);
  void OnMouseLeave();
  void OnButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam);
  void OnButtonUp(WPARAM wParam, LPARAM lParam);
  void OnCaptureChanged(LPARAM lParam);
  bool OnMouseWheel(WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  bool OnSetCursor(LPARAM lParam, LRESULT& lRes);
  bool OnKey(UINT uMsg, WPARAM wParam, LPARAM lParam);
  bool OnChildCommand(WPARAM wParam, LPARAM lParam);
  bool OnChildColor(WPARAM wParam, LPARAM lParam, LRESULT& lRes);

  HWND m_hWndPaint = nullptr;
  CControlUI* m_pRoot = nullptr;
  CControlUI* m_pFocus = nullptr;
  CControlUI* m_pEventHover = nullptr;
  CControlUI* m_pEventClick = nullptr;
  bool m_bMouseTracking = false;
  bool m_bMouseCapture = false;
  bool m_bUpdateNeeded = true;
  SIZE m_szInitWindowSize = {0, 0};
  SIZE m_szMinWindow = {0, 0};
  SIZE m_szMaxWindow = {0, 0};
  RECT m_rcCaption = {0, 0, 0, 0};
  CDpiScale m_dpiScale;
  std::vector<INotifyUI*> m_aNotifiers;
  std::vector<IMessageFilterUI*> m_aPreMessageFilters;
  std::vector<IMessageFilterUI*> m_aMessageFilters;
  std::map<std::string, CControlUI*> m_mNameHash;
  // The font table owns its fonts; GetFont lends them out.
  std::map<int, std::unique_ptr<TFontInfo>> m_mFonts;
  TFontInfo* m_pDefaultFont = nullptr;
  std::unique_ptr<CFocusNavigator> m_pFocusNavigator;
  std::unique_ptr<CAccessibleWindow> m_pAccessible;
};

}  // namespace DuiLib
