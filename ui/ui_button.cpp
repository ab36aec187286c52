#include "ui/ui_button.h"

#include <cstring>

namespace DuiLib {

CButtonUI::CButtonUI() { m_uTextStyle = DT_CENTER | DT_VCENTER; }

LPCTSTR CButtonUI::GetClass() const { return "ButtonUI"; }

LPVOID CButtonUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "Button") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

void CButtonUI::SetEnabled(bool bEnable) {
  CLabelUI::SetEnabled(bEnable);
  if (!bEnable) m_uButtonState &= ~(UISTATE_HOT | UISTATE_PUSHED | UISTATE_CAPTURED);
}

bool CButtonUI::Activate() {
  if (!IsVisible() || !IsEnabled()) return false;
  if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
  return true;
}

void CButtonUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE: UpdateHotState(event, &m_uButtonState); break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (IsEnabled() && ::PtInRect(&m_rcItem, event.ptMouse)) {
        m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        Invalidate();
      }
      break;
    case UIEVENT_MOUSEMOVE:
      if (m_uButtonState & UISTATE_CAPTURED) {
        bool inside = ::PtInRect(&m_rcItem, event.ptMouse) != FALSE;
        // Held and dragged off, the button looks normal until the pointer is back.
        UINT state = inside ? (m_uButtonState | UISTATE_PUSHED | UISTATE_HOT)
                            : (m_uButtonState & ~(UISTATE_PUSHED | UISTATE_HOT));
        if (state != m_uButtonState) {
          m_uButtonState = state;
          Invalidate();
        }
      }
      break;
    case UIEVENT_BUTTONUP:
      if (m_uButtonState & UISTATE_CAPTURED) {
        bool inside = ::PtInRect(&m_rcItem, event.ptMouse) != FALSE;
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        if (!inside) m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        // The click handler may delete this control: nothing after it.
        if (inside) Activate();
        return;
      }
      break;
    case UIEVENT_SETFOCUS:
      m_bFocused = true;
      Invalidate();
      break;
    case UIEVENT_KILLFOCUS:
      m_bFocused = false;
      Invalidate();
      break;
    case UIEVENT_KEYDOWN:
      // A held Space repeats its key-down; one press is one click.
      if (event.chKey == VK_SPACE && IsEnabled() && !(event.lParam & (1 << 30))) {
        Activate();
        return;
      }
      break;
    default: break;
  }
  CLabelUI::DoEvent(event);
}

void CButtonUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  DWORD color;
  if (name == "normalimage")
    SetNormalImage(pstrValue);
  else if (name == "hotimage")
    SetHotImage(pstrValue);
  else if (name == "pushedimage")
    SetPushedImage(pstrValue);
  else if (name == "disabledimage")
    SetDisabledImage(pstrValue);
  else if (name == "focusedimage")
    SetFocusedImage(pstrValue);
  else if (name == "hottextcolor") {
    if (ParseColor(pstrValue, &color)) SetHotTextColor(color);
  } else if (name == "pushedtextcolor") {
    if (ParseColor(pstrValue, &color)) SetPushedTextColor(color);
  } else if (name == "focusedtextcolor") {
    if (ParseColor(pstrValue, &color)) SetFocusedTextColor(color);
  } else
    CLabelUI::SetAttribute(pstrName, pstrValue);
}

DWORD CButtonUI::CurrentTextColor() const {
  if (!IsEnabled()) return m_dwDisabledTextColor ? m_dwDisabledTextColor : m_dwTextColor;
  if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedTextColor) return m_dwPushedTextColor;
  if ((m_uButtonState & UISTATE_HOT) && m_dwHotTextColor) return m_dwHotTextColor;
  if (IsFocused() && m_dwFocusedTextColor) return m_dwFocusedTextColor;
  return m_dwTextColor;
}

void CButtonUI::PaintStatusImage(HDC hDC) {
  // A missing state image falls back to the normal one.
  if (!IsEnabled()) {
    if (DrawImage(hDC, m_sDisabledImage)) return;
  } else if (m_uButtonState & UISTATE_PUSHED) {
    if (DrawImage(hDC, m_sPushedImage)) return;
  } else if (m_uButtonState & UISTATE_HOT) {
    if (DrawImage(hDC, m_sHotImage)) return;
  } else if (IsFocused()) {
    if (DrawImage(hDC, m_sFocusedImage)) return;
  }
  DrawImage(hDC, m_sNormalImage);
}

}  // namespace DuiLib
