#include "ui/ui_control.h"

#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "ui/accessible_window.h"
#include "ui/render.h"

namespace DuiLib {

namespace {

std::unordered_set<const CControlUI*>& LiveControls() {
  static std::unordered_set<const CControlUI*> controls;
  return controls;
}

}  // namespace

bool ParseColor(LPCTSTR value, DWORD* color) {
  if (!value) return false;
  while (*value == ' ') ++value;
  if (*value == '#') ++value;
  size_t len = std::strlen(value);
  if (len != 6 && len != 8) return false;
  DWORD result = 0;
  for (size_t i = 0; i < len; ++i) {
    char c = value[i];
    DWORD digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    result = (result << 4) | digit;
  }
  if (len == 6) result |= 0xFF000000;
  *color = result;
  return true;
}

bool ParseBool(LPCTSTR value) { return value && std::strcmp(value, "true") == 0; }

UINT ParseTextAlign(LPCTSTR value) {
  if (value && std::strstr(value, "center")) return DT_CENTER;
  if (value && std::strstr(value, "right")) return DT_RIGHT;
  return DT_LEFT;
}

UINT ParseTextVAlign(LPCTSTR value) {
  if (value && std::strstr(value, "top")) return DT_TOP;
  if (value && std::strstr(value, "bottom")) return DT_BOTTOM;
  return DT_VCENTER;
}

CControlUI::CControlUI() { LiveControls().insert(this); }

bool CControlUI::IsLive(const CControlUI* pControl) { return LiveControls().count(pControl) != 0; }

CControlUI::~CControlUI() {
  LiveControls().erase(this);
  // Every window that knows this control (a moved tree is known to two)
  // forgets it.
  CPaintManagerUI::ForgetControl(this);
}

LPCTSTR CControlUI::GetClass() const { return "ControlUI"; }

LPVOID CControlUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, DUI_CTR_CONTROL) == 0) return this;
  return nullptr;
}

void CControlUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  if (m_pManager && m_pManager != pManager) m_pManager->ForgetInput(this);
  m_pManager = pManager;
  m_pParent = pParent;
  if (bInit && m_pManager && !m_pParent) m_pManager->InitControls(this);
}

void CControlUI::SetText(LPCTSTR pstrText) {
  if (m_sText == pstrText) return;
  m_sText = pstrText;
  Invalidate();
  NotifyAccessibleEvent(this, EVENT_OBJECT_NAMECHANGE);
}

void CControlUI::SetVisible(bool bVisible) {
  if (m_bVisible == bVisible) return;
  bool wasVisible = IsVisible();
  m_bVisible = bVisible;
  if (m_bFocused && !bVisible && m_pManager) m_pManager->SetFocus(nullptr);
  if (IsVisible() != wasVisible) {
    NeedParentUpdate();
    NotifyAccessibleEvent(this, bVisible ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE);
  }
}

void CControlUI::SetInternVisible(bool bVisible) {
  m_bInternVisible = bVisible;
  if (!bVisible && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
}

void CControlUI::SetEnabled(bool bEnabled) {
  if (m_bEnabled == bEnabled) return;
  m_bEnabled = bEnabled;
  if (!bEnabled && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
  Invalidate();
  NotifyAccessibleEvent(this, EVENT_OBJECT_STATECHANGE);
}

void CControlUI::SetFocus() {
  if (m_pManager) m_pManager->SetFocus(this);
}

void CControlUI::SetPos(RECT rc) {
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  Invalidate();
  m_rcItem = rc;
  Invalidate();
}

void CControlUI::Invalidate() {
  if (!m_pManager || !IsVisible()) return;
  RECT rc = GetPaintBounds();
  if (rc.right > rc.left && rc.bottom > rc.top) m_pManager->Invalidate(rc);
}

void CControlUI::NeedUpdate() {
  if (!m_pManager) return;
  m_pManager->NeedUpdate();
  if (HWND hwnd = m_pManager->GetPaintWindow()) ::InvalidateRect(hwnd, nullptr, FALSE);
}

void CControlUI::NeedParentUpdate() {
  if (m_pParent)
    m_pParent->NeedUpdate();
  else
    NeedUpdate();
}

void CControlUI::ParseRect(LPCTSTR value, RECT* rc) const { ParseRectValue(value, rc); }

void CControlUI::UpdateHotState(const TEventUI& event, UINT* state) {
  if (event.Type == UIEVENT_MOUSEENTER) {
    if (!IsEnabled()) return;
    *state |= UISTATE_HOT;
  } else if (event.Type == UIEVENT_MOUSELEAVE) {
    *state &= ~(UISTATE_HOT | UISTATE_PUSHED | UISTATE_CAPTURED);
  } else {
    return;
  }
  Invalidate();
}

const CDpiScale& CControlUI::GetDpiScale() const {
  static const CDpiScale unscaled;
  return m_pManager ? m_pManager->GetDpiScale() : unscaled;
}

void CControlUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  DWORD color;
  if (name == "name") {
    SetName(pstrValue);
  } else if (name == "pos") {
    RECT rc;
    ParseRect(pstrValue, &rc);
    m_cXY = {rc.left, rc.top};
    // "x,y,0,0" only places the control; width and height give the size.
    if (rc.right > rc.left) m_cxyFixed.cx = rc.right - rc.left;
    if (rc.bottom > rc.top) m_cxyFixed.cy = rc.bottom - rc.top;
    NeedParentUpdate();
  } else if (name == "float") {
    SetFloat(ParseBool(pstrValue));
  } else if (name == "width") {
    SetFixedWidth(std::atoi(pstrValue));
  } else if (name == "height") {
    SetFixedHeight(std::atoi(pstrValue));
  } else if (name == "visible") {
    SetVisible(ParseBool(pstrValue));
  } else if (name == "enabled") {
    SetEnabled(ParseBool(pstrValue));
  } else if (name == "text") {
    SetText(pstrValue);
  } else if (name == "bkcolor") {
    if (ParseColor(pstrValue, &color)) SetBkColor(color);
  } else if (name == "bkimage") {
    SetBkImage(pstrValue);
  } else if (name == "userdata") {
    SetUserData(pstrValue);
  } else if (name == "tooltip") {
    SetToolTip(pstrValue);
  } else if (name == "accessiblename") {
    SetAccessibleName(pstrValue);
  } else if (name == "tabstop") {
    SetTabStop(ParseBool(pstrValue));
  } else if (name == "tabindex") {
    SetTabIndex(std::atoi(pstrValue));
  }
}

void CControlUI::DoEvent(TEventUI& event) { OnEvent(&event); }

void CControlUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT overlap;
  if (::IntersectRect(&overlap, &rcPaint, &m_rcItem)) {
    PaintBkColor(hDC);
    PaintBkImage(hDC);
    PaintStatusImage(hDC);
  }
  // Text may reach outside the item (a check box's caption); the paint
  // region of the window limits it.
  PaintText(hDC);
}

void CControlUI::PaintBkColor(HDC hDC) { FillColor(hDC, m_rcItem, m_dwBackColor); }

void CControlUI::PaintBkImage(HDC hDC) {
  if (!m_sBkImage.IsEmpty()) DrawImage(hDC, m_sBkImage);
}

void CControlUI::PaintStatusImage(HDC) {}

void CControlUI::PaintText(HDC) {}

bool CControlUI::DrawImage(HDC hDC, LPCTSTR pStrImage, const RECT* pDest) {
  if (!pStrImage || !*pStrImage) return false;
  return DrawImageDescription(hDC, pDest ? *pDest : m_rcItem, pStrImage, GetDpiScale());
}

CControlUI* CControlUI::FindByName(LPCTSTR pstrName) {
  return pstrName && m_sName == pstrName ? this : nullptr;
}

CControlUI* CControlUI::FindAt(POINT pt, bool bMouseOnly) {
  if (!IsVisible() || !::PtInRect(&m_rcItem, pt)) return nullptr;
  if (bMouseOnly && !TakesMouse()) return nullptr;
  return this;
}

}  // namespace DuiLib
