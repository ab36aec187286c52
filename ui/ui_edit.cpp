#include "ui/ui_edit.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/accessible_window.h"
#include "ui/render.h"

namespace DuiLib {

namespace {

// Posted to the native field when it lost the keyboard; it closes then
// unless the keyboard came back meanwhile.
const UINT kCloseNativeEdit = WM_APP + 0x2D1;

LRESULT CALLBACK NativeEditProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  auto* edit = static_cast<CEditUI*>(::GetPropA(hWnd, kControlWindowProperty));
  if (edit) return edit->HandleNativeMessage(hWnd, uMsg, wParam, lParam);
  return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

CEditUI::CEditUI() { m_rcTextPadding = RECT{4, 3, 4, 3}; }

// The native field closes before its brush (a member) is deleted.
CEditUI::~CEditUI() { CloseNativeEdit(); }

LPCTSTR CEditUI::GetClass() const { return "EditUI"; }

LPVOID CEditUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "Edit") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

void CEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  DWORD color;
  if (name == "readonly")
    SetReadOnly(ParseBool(pstrValue));
  else if (name == "password")
    SetPasswordMode(ParseBool(pstrValue));
  else if (name == "maxchar")
    SetMaxChar(static_cast<UINT>(std::strtoul(pstrValue, nullptr, 10)));
  else if (name == "tipvalue")
    SetTipValue(pstrValue);
  else if (name == "tipvaluecolor") {
    if (ParseColor(pstrValue, &color)) SetTipValueColor(color);
  } else if (name == "nativebkcolor") {
    if (ParseColor(pstrValue, &color)) SetNativeEditBkColor(color);
  } else if (name == "normalimage")
    m_sNormalImage = pstrValue;
  else if (name == "hotimage")
    m_sHotImage = pstrValue;
  else if (name == "focusedimage")
    m_sFocusedImage = pstrValue;
  else if (name == "disabledimage")
    m_sDisabledImage = pstrValue;
  else
    CLabelUI::SetAttribute(pstrName, pstrValue);
}

void CEditUI::SetMaxChar(UINT uMax) {
  m_uMaxChar = uMax;
  if (m_hWndEdit) ::SendMessageA(m_hWndEdit, EM_LIMITTEXT, m_uMaxChar, 0);
}

void CEditUI::SetReadOnly(bool bReadOnly) {
  m_bReadOnly = bReadOnly;
  if (m_hWndEdit) ::SendMessageA(m_hWndEdit, EM_SETREADONLY, bReadOnly, 0);
  Invalidate();
}

void CEditUI::SetEnabled(bool bEnable) {
  if (!bEnable) CloseNativeEdit();
  CLabelUI::SetEnabled(bEnable);
}

void CEditUI::SetVisible(bool bVisible) {
  if (!bVisible) CloseNativeEdit();
  CLabelUI::SetVisible(bVisible);
}

void CEditUI::SetInternVisible(bool bVisible) {
  if (!bVisible) CloseNativeEdit();
  CLabelUI::SetInternVisible(bVisible);
}

void CEditUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  // The native field is a child of the old window.
  if (pManager != m_pManager) CloseNativeEdit();
  CLabelUI::SetManager(pManager, pParent, bInit);
}

void CEditUI::SetPos(RECT rc) {
  CLabelUI::SetPos(rc);
  if (m_hWndEdit) {
    RECT pos = NativeEditRect();
    ::MoveWindow(m_hWndEdit, pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top, TRUE);
  }
}

CDuiString CEditUI::GetText() const {
  if (m_hWndEdit) {
    int length = ::GetWindowTextLengthA(m_hWndEdit);
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(m_hWndEdit, buffer.data(), length + 1);
    return CDuiString(buffer.data());
  }
  return m_sText;
}

void CEditUI::SetText(LPCTSTR pstrText) {
  std::string text = pstrText ? pstrText : "";
  if (m_uMaxChar > 0 && text.size() > m_uMaxChar) {
    // Cut at a character boundary so no half of a double-byte character stays.
    size_t cut = 0;
    while (cut < text.size()) {
      size_t next = cut + static_cast<size_t>(AnsiCharLength(text.c_str() + cut));
      if (next > m_uMaxChar) break;
      cut = next;
    }
    text.resize(cut);
  }
  m_sText = text;
  if (m_hWndEdit) ::SetWindowTextA(m_hWndEdit, m_sText);
  Invalidate();
  NotifyAccessibleEvent(this, EVENT_OBJECT_VALUECHANGE);
}

RECT CEditUI::NativeEditRect() const {
  const RECT padding = GetDpiScale().Scale(m_rcTextPadding);
  RECT rc = {m_rcItem.left + padding.left, m_rcItem.top + padding.top,
             m_rcItem.right - padding.right, m_rcItem.bottom - padding.bottom};
  // One line of the control's font, centred vertically.
  int lineHeight = rc.bottom - rc.top;
  if (m_pManager) {
    const TEXTMETRICA tm = ScreenFontMetrics(m_pManager->GetFont(m_iFont));
    const int gap = GetDpiScale().Scale(2);
    if (tm.tmHeight > 0 && tm.tmHeight + gap < lineHeight) lineHeight = tm.tmHeight + gap;
  }
  rc.top += ((rc.bottom - rc.top) - lineHeight) / 2;
  rc.bottom = rc.top + lineHeight;
  if (rc.right < rc.left) rc.right = rc.left;
  return rc;
}

void CEditUI::OpenNativeEdit() {
  if (m_hWndEdit || !m_pManager || !m_pManager->GetPaintWindow() || !IsEnabled() || !IsVisible())
    return;
  RECT rc = NativeEditRect();
  DWORD style = WS_CHILD | ES_AUTOHSCROLL | ES_LEFT;
  if (m_bPasswordMode) style |= ES_PASSWORD;
  if (m_bReadOnly) style |= ES_READONLY;
  HWND hwnd = ::CreateWindowExA(0, "EDIT", m_sText, style, rc.left, rc.top, rc.right - rc.left,
                                rc.bottom - rc.top, m_pManager->GetPaintWindow(), nullptr,
                                CPaintManagerUI::GetInstance(), nullptr);
  if (!hwnd) return;
  ::SetPropA(hwnd, kControlWindowProperty, this);
  m_pOldEditProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NativeEditProc)));
  m_hWndEdit = hwnd;
  ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_pManager->GetFont(m_iFont)), TRUE);
  ::SendMessageA(hwnd, EM_LIMITTEXT, m_uMaxChar, 0);
  ::SendMessageA(hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  int length = ::GetWindowTextLengthA(hwnd);
  ::SendMessageA(hwnd, EM_SETSEL, length, length);
  ::ShowWindow(hwnd, SW_SHOW);
  ::SetFocus(hwnd);
  Invalidate();
}

void CEditUI::CloseNativeEdit() {
  HWND hwnd = m_hWndEdit;
  if (!hwnd) return;
  if (::IsWindow(hwnd)) {
    int length = ::GetWindowTextLengthA(hwnd);
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(hwnd, buffer.data(), length + 1);
    m_sText = buffer.data();
  }
  m_hWndEdit = nullptr;
  if (::IsWindow(hwnd)) {
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pOldEditProc));
    ::RemovePropA(hwnd, kControlWindowProperty);
    ::DestroyWindow(hwnd);
  }
  m_pOldEditProc = nullptr;
  m_uButtonState &= ~UISTATE_FOCUSED;
  Invalidate();
}

LRESULT CEditUI::HandleNativeMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  WNDPROC original = m_pOldEditProc;
  switch (uMsg) {
    case WM_KILLFOCUS: ::PostMessageA(hWnd, kCloseNativeEdit, 0, 0); break;
    case kCloseNativeEdit:
      if (::GetFocus() != hWnd) {
        CPaintManagerUI* manager = m_pManager;
        if (manager && manager->GetFocus() == this)
          manager->SetFocus(nullptr);
        else
          CloseNativeEdit();
      }
      return 0;
    case WM_GETOBJECT: {
      LRESULT result = 0;
      if (AnswerNativeGetObject(this, hWnd, wParam, lParam, result)) return result;
      break;
    }
    case WM_NCDESTROY:
      // The host window is going away with its children.
      if (hWnd == m_hWndEdit) {
        m_hWndEdit = nullptr;
        ::RemovePropA(hWnd, kControlWindowProperty);
      }
      break;
    default: break;
  }
  return original ? ::CallWindowProcA(original, hWnd, uMsg, wParam, lParam)
                  : ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

void CEditUI::OnDpiChanged() {
  // An open field keeps its text and caret; it takes the new font now (the
  // old one is about to be deleted) and its new place with the layout.
  if (m_hWndEdit && m_pManager) {
    ::SendMessageA(m_hWndEdit, WM_SETFONT, reinterpret_cast<WPARAM>(m_pManager->GetFont(m_iFont)),
                   TRUE);
  }
  CLabelUI::OnDpiChanged();
}

LRESULT CEditUI::OnNativeColor(HDC hDC) {
  ::SetTextColor(hDC, ToColorRef(m_dwTextColor ? m_dwTextColor : 0xFF000000));
  ::SetBkColor(hDC, ToColorRef(m_dwEditbkColor));
  if (!m_hEditBrush) m_hEditBrush.Reset(::CreateSolidBrush(ToColorRef(m_dwEditbkColor)));
  return reinterpret_cast<LRESULT>(m_hEditBrush.Get());
}

void CEditUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      OpenNativeEdit();
      Invalidate();
      break;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      CloseNativeEdit();
      Invalidate();
      break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (IsEnabled()) {
        if (!m_hWndEdit) OpenNativeEdit();
        if (m_hWndEdit) ::SetFocus(m_hWndEdit);
      }
      break;
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE: UpdateHotState(event, &m_uButtonState); break;
    default: break;
  }
  CLabelUI::DoEvent(event);
}

void CEditUI::PaintStatusImage(HDC hDC) {
  if (!IsEnabled()) {
    if (DrawImage(hDC, m_sDisabledImage)) return;
  } else if (m_bFocused || m_hWndEdit) {
    if (DrawImage(hDC, m_sFocusedImage)) return;
  } else if (m_uButtonState & UISTATE_HOT) {
    if (DrawImage(hDC, m_sHotImage)) return;
  }
  DrawImage(hDC, m_sNormalImage);
}

void CEditUI::PaintText(HDC hDC) {
  // The native field draws itself while it is open.
  if (m_hWndEdit) return;
  if (m_sText.IsEmpty()) {
    if (!m_sTipValue.IsEmpty()) DrawLabelText(hDC, m_sTipValue, m_dwTipValueColor);
    return;
  }
  DWORD color =
      IsEnabled() ? m_dwTextColor : (m_dwDisabledTextColor ? m_dwDisabledTextColor : m_dwTextColor);
  if (m_bPasswordMode) {
    std::string masked(static_cast<size_t>(m_sText.GetLength()), '*');
    DrawLabelText(hDC, masked.c_str(), color);
  } else {
    DrawLabelText(hDC, m_sText, color);
  }
}

}  // namespace DuiLib
