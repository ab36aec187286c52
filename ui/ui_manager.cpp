#include "ui/ui_manager.h"

#include <windowsx.h>

#include <algorithm>
#include <memory>

#include "ui/accessible_window.h"
#include "ui/focus_navigator.h"
#include "ui/render.h"
#include "ui/ui_container.h"
#include "ui/ui_control.h"
#include "ui/zip_reader.h"
#include "util/scoped_gdi.h"
#include "util/scoped_handle.h"

namespace DuiLib {

namespace {

HINSTANCE g_instance = nullptr;
const char kShadowWindowClass[] = "DuiShadow";
ZipReader g_skinZip;
std::string g_resourcePath;
constexpr DWORD kMaxSkinFileSize = 64u * 1024 * 1024;

// Every live manager, so a deleted control can be forgotten by all of them
// (a tree moved between windows is known to both).
std::vector<CPaintManagerUI*>& LiveManagers() {
  static std::vector<CPaintManagerUI*> managers;
  return managers;
}

template <typename T>
bool AddUnique(std::vector<T*>& list, T* item) {
  if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}

template <typename T>
bool RemoveItem(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

void RegisterNames(CControlUI* control, std::map<std::string, CControlUI*>& names) {
  if (!control) return;
  CDuiString name = control->GetName();
  if (!name.IsEmpty()) names.emplace(name.str(), control);
  if (auto* container = static_cast<IContainerUI*>(control->GetInterface("IContainer"))) {
    for (int i = 0; i < container->GetCount(); ++i) RegisterNames(container->GetItemAt(i), names);
  }
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  tn::ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bool ok = false;
  LARGE_INTEGER size;
  if (::GetFileSizeEx(file.Get(), &size) && size.QuadPart <= kMaxSkinFileSize) {
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes->empty() ||
         (::ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
          read == bytes->size());
  }
  if (!ok) bytes->clear();
  return ok;
}

// Delivers one framework event to |target|, stamped with the current time.
void SendEvent(CControlUI* target, int type, POINT pt = {0, 0}, WPARAM wParam = 0,
               LPARAM lParam = 0) {
  TEventUI event;
  event.Type = type;
  event.pSender = target;
  event.ptMouse = pt;
  event.wParam = wParam;
  event.lParam = lParam;
  event.dwTimestamp = ::GetTickCount();
  target->DoEvent(event);
}

}  // namespace

// --- process-wide -----------------------------------------------------------

void CPaintManagerUI::SetInstance(HINSTANCE hInst) {
  g_instance = hInst;
  // The drop-shadow window class exists wherever layered windows do, so a
  // skin may ask for a shadow; none of the installer's windows does.
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  if (user32 && ::GetProcAddress(user32, "UpdateLayeredWindow")) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = GetInstance();
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kShadowWindowClass;
    ::RegisterClassA(&wc);  // already registered by an earlier call: fine
  }
}

HINSTANCE CPaintManagerUI::GetInstance() {
  return g_instance ? g_instance : ::GetModuleHandleA(nullptr);
}

bool CPaintManagerUI::SetResourceZip(LPVOID data, unsigned int size) {
  ClearSkinImages();
  if (!g_skinZip.Open(data, size)) {
    ::OutputDebugStringA("skin package is not a readable ZIP archive\n");
    return false;
  }
  return true;
}

void CPaintManagerUI::SetResourcePath(LPCTSTR path) {
  g_resourcePath = path ? path : "";
  if (!g_resourcePath.empty() && g_resourcePath.back() != '\\' && g_resourcePath.back() != '/')
    g_resourcePath += '\\';
  ClearSkinImages();
}

CDuiString CPaintManagerUI::GetResourcePath() { return CDuiString(g_resourcePath); }

bool CPaintManagerUI::LoadSkinFile(LPCTSTR name, std::string* bytes) {
  bytes->clear();
  if (!name || !*name) return false;
  if (g_skinZip.IsOpen()) {
    std::string error;
    if (g_skinZip.Read(name, bytes, &error)) return true;
    std::string trace = std::string("skin file not read: ") + name + ": " + error + "\n";
    ::OutputDebugStringA(trace.c_str());
    return false;
  }
  std::string path = g_resourcePath + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return ReadWholeFile(path, bytes);
}

void CPaintManagerUI::ClearImageCache() { ClearSkinImages(); }

bool CPaintManagerUI::TranslateMessage(const LPMSG msg) {
  if (!msg) return false;
  // The focused native child of a framework window (an edit field) gets
  // the keys, but the window's filters still see them first.
  for (HWND hwnd = msg->hwnd; hwnd; hwnd = ::GetParent(hwnd)) {
    for (CPaintManagerUI* manager : LiveManagers()) {
      if (manager->m_hWndPaint == hwnd) {
        LRESULT lRes = 0;
        return manager->PreMessageHandler(msg->message, msg->wParam, msg->lParam, lRes);
      }
    }
    if (!(::GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) break;
  }
  return false;
}

void CPaintManagerUI::ForgetControl(CControlUI* pControl) {
  for (CPaintManagerUI* manager : LiveManagers()) manager->ReapObjects(pControl);
}

void CPaintManagerUI::MessageLoop() {
  MSG msg = {};
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

// --- per window -------------------------------------------------------------

CPaintManagerUI::CPaintManagerUI()
    : m_pFocusNavigator(new CFocusNavigator(this)), m_pAccessible(new CAccessibleWindow(this)) {
  LiveManagers().push_back(this);
}

CPaintManagerUI::~CPaintManagerUI() {
  RemoveItem(LiveManagers(), this);
  m_pAccessible->Disconnect();
  // A root that was moved into another window belongs to that window now.
  if (m_pRoot && !m_pRoot->GetParent() && m_pRoot->GetManager() == this) {
    CControlUI* root = m_pRoot;
    m_pRoot = nullptr;
    delete root;
  }
  m_mFonts.clear();
}

void CPaintManagerUI::Init(HWND hWnd) {
  m_hWndPaint = hWnd;
  m_bUpdateNeeded = true;
  if (hWnd) m_dpiScale.SetDpi(QueryWindowDpi(hWnd));
}

void CPaintManagerUI::SetDpi(int dpi) {
  int old = m_dpiScale.GetDpi();
  m_dpiScale.SetDpi(dpi);
  if (m_dpiScale.GetDpi() == old) return;
  // Each font again at the new height; ids, defaults and styles stay.
  std::map<int, std::unique_ptr<TFontInfo>> fonts;
  fonts.swap(m_mFonts);
  int defaultId = 0;
  bool hasDefault = false;
  for (auto& font : fonts) {
    if (font.second.get() == m_pDefaultFont) {
      defaultId = font.first;
      hasDefault = true;
    }
  }
  m_pDefaultFont = nullptr;
  for (auto& font : fonts) {
    const TFontInfo& f = *font.second;
    AddFont(font.first, f.sFontName.c_str(), f.iSize, f.bBold, f.bUnderline, f.bItalic,
            hasDefault && font.first == defaultId);
  }
  // Controls (a native edit field holding a font) switch before the old
  // fonts are deleted.
  if (m_pRoot && m_pRoot->GetManager() == this) m_pRoot->OnDpiChanged();
  fonts.clear();
  m_bUpdateNeeded = true;
  UpdateLayout();
  if (m_hWndPaint) ::InvalidateRect(m_hWndPaint, nullptr, FALSE);
}

bool CPaintManagerUI::AttachDialog(CControlUI* pControl) {
  if (!pControl) return false;
  if (m_pRoot && m_pRoot != pControl && !m_pRoot->GetParent() && m_pRoot->GetManager() == this) {
    CControlUI* old = m_pRoot;
    m_pRoot = nullptr;
    delete old;
  }
  m_mNameHash.clear();
  m_pFocus = m_pEventHover = m_pEventClick = nullptr;
  m_pRoot = pControl;
  pControl->SetManager(this, nullptr, true);
  m_bUpdateNeeded = true;
  UpdateLayout();
  if (m_hWndPaint) ::InvalidateRect(m_hWndPaint, nullptr, FALSE);
  return true;
}

void CPaintManagerUI::InitControls(CControlUI* pControl) { RegisterNames(pControl, m_mNameHash); }

CControlUI* CPaintManagerUI::FindControl(LPCTSTR name) const {
  if (!name) return nullptr;
  auto it = m_mNameHash.find(name);
  return it == m_mNameHash.end() ? nullptr : it->second;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  const_cast<CPaintManagerUI*>(this)->UpdateLayout();
  if (!m_pRoot || m_pRoot->GetManager() != this) return nullptr;
  return m_pRoot->FindAt(pt, false);
}

CControlUI* CPaintManagerUI::FindMouseControl(POINT pt) const {
  const_cast<CPaintManagerUI*>(this)->UpdateLayout();
  if (!m_pRoot || m_pRoot->GetManager() != this) return nullptr;
  return m_pRoot->FindAt(pt, true);
}

bool CPaintManagerUI::AddNotifier(INotifyUI* p) { return AddUnique(m_aNotifiers, p); }
bool CPaintManagerUI::RemoveNotifier(INotifyUI* p) { return RemoveItem(m_aNotifiers, p); }
bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* p) {
  return AddUnique(m_aPreMessageFilters, p);
}
bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* p) {
  return RemoveItem(m_aPreMessageFilters, p);
}
bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* p) {
  return AddUnique(m_aMessageFilters, p);
}
bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* p) {
  return RemoveItem(m_aMessageFilters, p);
}

void CPaintManagerUI::SendNotify(CControlUI* pControl, LPCTSTR pstrMessage, WPARAM wParam,
                                 LPARAM lParam) {
  TNotifyUI msg;
  msg.pSender = pControl;
  msg.sType = pstrMessage;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg) {
  msg.dwTimestamp = ::GetTickCount();
  if (m_hWndPaint) {
    ::GetCursorPos(&msg.ptMouse);
    ::ScreenToClient(m_hWndPaint, &msg.ptMouse);
  }
  // The handlers may delete the sender or this window's pages; only the
  // notifier list (owned by this manager) is used afterwards.
  if (msg.pSender) {
    if (!msg.pSender->OnNotify(&msg)) return;
    // A handler deleted the sender: the listeners hear of a null sender.
    if (!CControlUI::IsLive(msg.pSender)) msg.pSender = nullptr;
  }
  std::vector<INotifyUI*> notifiers = m_aNotifiers;
  for (INotifyUI* notifier : notifiers) {
    if (std::find(m_aNotifiers.begin(), m_aNotifiers.end(), notifier) != m_aNotifiers.end())
      notifier->Notify(msg);
  }
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
  m_szInitWindowSize = {cx, cy};
  ResizeToInitSize();
}

void CPaintManagerUI::ResizeToInitSize() {
  // A positive skin length stays positive at every DPI the scale accepts.
  SIZE size = GetScaledInitSize();
  if (!m_hWndPaint || size.cx <= 0 || size.cy <= 0) return;
  ::SetWindowPos(m_hWndPaint, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CPaintManagerUI::SetWindowAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  RECT rc;
  std::string name = pstrName;
  if (name == "size") {
    if (ParseRectValue(pstrValue, &rc)) SetInitSize(rc.left, rc.top);
  } else if (name == "caption") {
    if (ParseRectValue(pstrValue, &rc)) m_rcCaption = rc;
  } else if (name == "mininfo") {
    if (ParseRectValue(pstrValue, &rc)) SetMinInfo(rc.left, rc.top);
  } else if (name == "maxinfo") {
    if (ParseRectValue(pstrValue, &rc)) SetMaxInfo(rc.left, rc.top);
  } else if (name == "focuscuecolor") {
    DWORD color;
    if (ParseColor(pstrValue, &color)) m_pFocusNavigator->SetCueColor(color);
  }
}

void CPaintManagerUI::AddFont(int id, LPCTSTR pStrFontName, int nSize, bool bBold, bool bUnderline,
                              bool bItalic, bool bDefault) {
  if (nSize <= 0 || nSize > 500) return;
  tn::ScopedFont font(::CreateFontA(-m_dpiScale.Scale(nSize), 0, 0, 0, bBold ? FW_BOLD : FW_NORMAL,
                                    bItalic, bUnderline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, pStrFontName ? pStrFontName : ""));
  if (!font) return;
  auto info = std::make_unique<TFontInfo>();
  info->iHeight = ScreenFontMetrics(font.Get()).tmHeight;
  info->hFont = std::move(font);
  info->sFontName = pStrFontName ? pStrFontName : "";
  info->iSize = nSize;
  info->bBold = bBold;
  info->bUnderline = bUnderline;
  info->bItalic = bItalic;
  auto it = m_mFonts.find(id);
  if (it != m_mFonts.end() && m_pDefaultFont == it->second.get()) m_pDefaultFont = nullptr;
  if (bDefault) m_pDefaultFont = info.get();
  // An earlier font of the same id is deleted here.
  m_mFonts[id] = std::move(info);
}

HFONT CPaintManagerUI::GetFont(int id) const {
  auto it = m_mFonts.find(id);
  if (it != m_mFonts.end()) return it->second->hFont.Get();
  return GetDefaultFont();
}

HFONT CPaintManagerUI::GetDefaultFont() const {
  if (m_pDefaultFont) return m_pDefaultFont->hFont.Get();
  return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

const TImageInfo* CPaintManagerUI::GetImage(LPCTSTR bitmap) { return LoadSkinImage(bitmap); }

void CPaintManagerUI::Invalidate(const RECT& rc) {
  if (m_hWndPaint) ::InvalidateRect(m_hWndPaint, &rc, FALSE);
}

void CPaintManagerUI::SetFocus(CControlUI* pControl) {
  if (pControl == m_pFocus) return;
  if (m_hWndPaint && ::GetFocus() != m_hWndPaint && pControl &&
      !(::GetFocus() && ::IsChild(m_hWndPaint, ::GetFocus()))) {
    ::SetFocus(m_hWndPaint);
  }
  CControlUI* old = m_pFocus;
  m_pFocus = nullptr;
  if (old) {
    TEventUI event;
    event.Type = UIEVENT_KILLFOCUS;
    event.pSender = pControl;  // the control that takes the focus
    event.dwTimestamp = ::GetTickCount();
    old->DoEvent(event);
  }
  if (pControl && pControl->GetManager() == this && pControl->IsVisible() &&
      pControl->IsEnabled()) {
    m_pFocus = pControl;
    SendEvent(pControl, UIEVENT_SETFOCUS);
  }
  m_pFocusNavigator->FocusChanged(old, m_pFocus);
  if (m_pFocus)
    NotifyAccessibleEvent(m_pFocus, EVENT_OBJECT_FOCUS);
  else if (old)
    NotifyAccessibleClientEvent(this, EVENT_OBJECT_FOCUS);
}

void CPaintManagerUI::SetCapture() {
  if (m_hWndPaint) ::SetCapture(m_hWndPaint);
  m_bMouseCapture = true;
}

void CPaintManagerUI::ReleaseCapture() {
  m_bMouseCapture = false;
  ::ReleaseCapture();
}

void CPaintManagerUI::ForgetInput(CControlUI* pControl) {
  if (m_pFocus == pControl) m_pFocus = nullptr;
  if (m_pEventHover == pControl) m_pEventHover = nullptr;
  if (m_pEventClick == pControl) m_pEventClick = nullptr;
}

void CPaintManagerUI::ReapObjects(CControlUI* pControl) {
  if (!pControl) return;
  ForgetInput(pControl);
  if (m_pRoot == pControl) m_pRoot = nullptr;
  for (auto it = m_mNameHash.begin(); it != m_mNameHash.end();) {
    if (it->second == pControl)
      it = m_mNameHash.erase(it);
    else
      ++it;
  }
}

void CPaintManagerUI::UpdateLayout() {
  if (!m_bUpdateNeeded || !m_hWndPaint || !m_pRoot) return;
  // A root moved into another window is laid out by that window.
  if (m_pRoot->GetManager() != this) return;
  m_bUpdateNeeded = false;
  RECT rc;
  ::GetClientRect(m_hWndPaint, &rc);
  if (rc.right > rc.left && rc.bottom > rc.top) m_pRoot->SetPos(rc);
}

void CPaintManagerUI::PaintTo(HDC hdc, const RECT& rcPaint) {
  UpdateLayout();
  FillColor(hdc, rcPaint, 0xFFFFFFFF);
  if (m_pRoot && m_pRoot->GetManager() == this) m_pRoot->DoPaint(hdc, rcPaint);
  m_pFocusNavigator->PaintCue(hdc);
}

void CPaintManagerUI::SetHot(CControlUI* pControl, POINT pt) {
  if (pControl == m_pEventHover) return;
  TEventUI event;
  event.ptMouse = pt;
  event.dwTimestamp = ::GetTickCount();
  CControlUI* old = m_pEventHover;
  m_pEventHover = pControl;
  if (old) {
    event.Type = UIEVENT_MOUSELEAVE;
    event.pSender = old;
    old->DoEvent(event);
  }
  // The leave handler may have changed the tree.
  if (m_pEventHover == pControl && pControl) {
    event.Type = UIEVENT_MOUSEENTER;
    event.pSender = pControl;
    pControl->DoEvent(event);
  }
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  // Keyboard navigation comes first: Tab must leave an open edit field too.
  if (m_pFocusNavigator->PreTranslateKey(uMsg, wParam, lParam)) {
    lRes = 0;
    return true;
  }
  return RunFilters(m_aPreMessageFilters, uMsg, wParam, lParam, lRes);
}

bool CPaintManagerUI::RunFilters(const std::vector<IMessageFilterUI*>& registered, UINT uMsg,
                                 WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  // A filter may add or remove filters (and so delete one): the list is
  // copied, and a filter removed meanwhile is not asked.
  std::vector<IMessageFilterUI*> filters = registered;
  for (IMessageFilterUI* filter : filters) {
    if (std::find(registered.begin(), registered.end(), filter) == registered.end()) continue;
    bool bHandled = false;
    LRESULT result = filter->MessageHandler(uMsg, wParam, lParam, bHandled);
    if (bHandled) {
      lRes = result;
      return true;
    }
  }
  return false;
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (!m_hWndPaint) return false;
  if (RunFilters(m_aMessageFilters, uMsg, wParam, lParam, lRes)) return true;
  if (m_pAccessible->HandleMessage(uMsg, wParam, lParam, lRes)) return true;
  switch (uMsg) {
    // Painting and layout.
    case WM_ERASEBKGND: lRes = 1; return true;
    case WM_PAINT:
      OnPaint();
      lRes = 0;
      return true;
    case WM_SIZE: OnSize(); return false;
    // The mouse.
    case WM_MOUSEMOVE: OnMouseMove(wParam, lParam); return true;
    case WM_MOUSELEAVE: OnMouseLeave(); return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: OnButtonDown(uMsg, wParam, lParam); return true;
    case WM_LBUTTONUP: OnButtonUp(wParam, lParam); return true;
    case WM_CAPTURECHANGED: OnCaptureChanged(lParam); return false;
    case WM_MOUSEWHEEL: return OnMouseWheel(wParam, lParam, lRes);
    case WM_SETCURSOR: return OnSetCursor(lParam, lRes);
    // The keyboard.
    case WM_KEYDOWN:
    case WM_CHAR: return OnKey(uMsg, wParam, lParam);
    // Native child windows (the open edit field).
    case WM_COMMAND: return OnChildCommand(wParam, lParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: return OnChildColor(wParam, lParam, lRes);
    default: return false;
  }
}

void CPaintManagerUI::OnPaint() {
  tn::ScopedPaintDC paint(m_hWndPaint);
  HDC hdc = paint.Get();
  const RECT& rcPaint = paint.PaintRect();
  RECT client;
  ::GetClientRect(m_hWndPaint, &client);
  int cx = client.right - client.left, cy = client.bottom - client.top;
  if (!hdc || cx <= 0 || cy <= 0) return;
  // Painted off screen and copied in one go, so nothing flickers.
  tn::ScopedCreatedDC memory(::CreateCompatibleDC(hdc));
  tn::ScopedBitmap buffer(::CreateCompatibleBitmap(hdc, cx, cy));
  if (!memory || !buffer) return;
  tn::ScopedSelectObject select(memory.Get(), buffer.Get());
  PaintTo(memory.Get(), rcPaint);
  ::BitBlt(hdc, rcPaint.left, rcPaint.top, rcPaint.right - rcPaint.left,
           rcPaint.bottom - rcPaint.top, memory.Get(), rcPaint.left, rcPaint.top, SRCCOPY);
}

void CPaintManagerUI::OnSize() {
  // Laid out at once, so positions are right before the first paint.
  m_bUpdateNeeded = true;
  UpdateLayout();
  ::InvalidateRect(m_hWndPaint, nullptr, FALSE);
}

void CPaintManagerUI::OnMouseMove(WPARAM wParam, LPARAM lParam) {
  if (!m_bMouseTracking) {
    TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE, m_hWndPaint, 0};
    ::TrackMouseEvent(&tme);
    m_bMouseTracking = true;
  }
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  // A pressed control follows the mouse wherever it goes.
  if (m_bMouseCapture && m_pEventClick) {
    SendEvent(m_pEventClick, UIEVENT_MOUSEMOVE, pt, wParam, lParam);
    return;
  }
  CControlUI* target = FindMouseControl(pt);
  SetHot(target, pt);
  if (target && target == m_pEventHover) SendEvent(target, UIEVENT_MOUSEMOVE, pt, wParam, lParam);
}

void CPaintManagerUI::OnMouseLeave() {
  m_bMouseTracking = false;
  if (!m_bMouseCapture) SetHot(nullptr, POINT{-1, -1});
}

void CPaintManagerUI::OnButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  CControlUI* target = FindMouseControl(pt);
  if (target != m_pFocus) {
    // Takes the keyboard from a native field so it closes.
    ::SetFocus(m_hWndPaint);
  }
  if (!target || !target->IsEnabled()) return;
  SetHot(target, pt);
  m_pEventClick = target;
  SetCapture();
  SetFocus(target);
  // The focus change may have removed the control.
  if (m_pEventClick != target) return;
  SendEvent(target, uMsg == WM_LBUTTONDBLCLK ? UIEVENT_DBLCLICK : UIEVENT_BUTTONDOWN, pt, wParam,
            lParam);
}

void CPaintManagerUI::OnButtonUp(WPARAM wParam, LPARAM lParam) {
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  CControlUI* target = m_pEventClick;
  m_pEventClick = nullptr;
  if (m_bMouseCapture) ReleaseCapture();
  if (target) SendEvent(target, UIEVENT_BUTTONUP, pt, wParam, lParam);
}

void CPaintManagerUI::OnCaptureChanged(LPARAM lParam) {
  // Another window took the mouse: the pressed control is let go.
  if (reinterpret_cast<HWND>(lParam) == m_hWndPaint || !m_bMouseCapture) return;
  m_bMouseCapture = false;
  CControlUI* target = m_pEventClick;
  if (!target) return;
  m_pEventClick = nullptr;
  SendEvent(target, UIEVENT_MOUSELEAVE, POINT{-1, -1});
}

bool CPaintManagerUI::OnMouseWheel(WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ::ScreenToClient(m_hWndPaint, &pt);
  CControlUI* target = FindMouseControl(pt);
  if (!target) return false;
  SendEvent(target, UIEVENT_SCROLLWHEEL, pt, wParam, lParam);
  lRes = 0;
  return true;
}

bool CPaintManagerUI::OnSetCursor(LPARAM lParam, LRESULT& lRes) {
  if (LOWORD(lParam) != HTCLIENT) return false;
  POINT pt;
  ::GetCursorPos(&pt);
  ::ScreenToClient(m_hWndPaint, &pt);
  CControlUI* target = FindMouseControl(pt);
  bool text = target && target->IsEnabled() && target->GetInterface("Edit");
  ::SetCursor(::LoadCursor(nullptr, text ? IDC_IBEAM : IDC_ARROW));
  lRes = TRUE;
  return true;
}

bool CPaintManagerUI::OnKey(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (!m_pFocus) return false;
  TEventUI event;
  event.Type = uMsg == WM_KEYDOWN ? UIEVENT_KEYDOWN : UIEVENT_CHAR;
  event.pSender = m_pFocus;
  event.chKey = static_cast<TCHAR>(wParam);
  event.wParam = wParam;
  event.lParam = lParam;
  event.dwTimestamp = ::GetTickCount();
  m_pFocus->DoEvent(event);
  return true;
}

bool CPaintManagerUI::OnChildCommand(WPARAM wParam, LPARAM lParam) {
  HWND child = reinterpret_cast<HWND>(lParam);
  if (!child || HIWORD(wParam) != EN_CHANGE) return false;
  auto* control = static_cast<CControlUI*>(::GetPropA(child, kControlWindowProperty));
  if (!control) return false;
  SendNotify(control, DUI_MSGTYPE_TEXTCHANGED);
  return true;
}

bool CPaintManagerUI::OnChildColor(WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  HWND child = reinterpret_cast<HWND>(lParam);
  auto* control = static_cast<CControlUI*>(::GetPropA(child, kControlWindowProperty));
  if (!control) return false;
  lRes = control->OnNativeColor(reinterpret_cast<HDC>(wParam));
  return lRes != 0;
}

}  // namespace DuiLib
