#include "ui/ui_label.h"

#include <cstdlib>
#include <cstring>

#include "ui/render.h"

namespace DuiLib {

LPCTSTR CLabelUI::GetClass() const { return "LabelUI"; }

LPVOID CLabelUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "Label") == 0) return this;
  return CControlUI::GetInterface(pstrName);
}

void CLabelUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  DWORD color;
  if (name == "align") {
    SetTextStyle((m_uTextStyle & ~(DT_LEFT | DT_CENTER | DT_RIGHT)) | ParseTextAlign(pstrValue));
  } else if (name == "valign") {
    SetTextStyle((m_uTextStyle & ~(DT_TOP | DT_VCENTER | DT_BOTTOM)) | ParseTextVAlign(pstrValue));
  } else if (name == "font") {
    SetFont(std::atoi(pstrValue));
  } else if (name == "textcolor") {
    if (ParseColor(pstrValue, &color)) SetTextColor(color);
  } else if (name == "disabledtextcolor") {
    if (ParseColor(pstrValue, &color)) SetDisabledTextColor(color);
  } else if (name == "textpadding") {
    RECT rc;
    ParseRectValue(pstrValue, &rc);
    SetTextPadding(rc);
  } else {
    CControlUI::SetAttribute(pstrName, pstrValue);
  }
}

DWORD CLabelUI::CurrentTextColor() const {
  if (!IsEnabled() && m_dwDisabledTextColor) return m_dwDisabledTextColor;
  return m_dwTextColor;
}

void CLabelUI::PaintText(HDC hDC) {
  if (m_sText.IsEmpty()) return;
  DrawLabelText(hDC, m_sText, CurrentTextColor());
}

RECT CLabelUI::GetPaintBounds() const {
  RECT bounds = m_rcItem;
  if (m_rcText.right > m_rcText.left) ::UnionRect(&bounds, &bounds, &m_rcText);
  return bounds;
}

void CLabelUI::DrawLabelText(HDC hDC, LPCTSTR text, DWORD color) {
  if (!text || !*text || !m_pManager) return;
  HGDIOBJ oldFont = ::SelectObject(hDC, m_pManager->GetFont(m_iFont));
  int length = static_cast<int>(std::strlen(text));
  SIZE extent = {0, 0};
  ::GetTextExtentPoint32A(hDC, text, length, &extent);

  const RECT padding = GetDpiScale().Scale(m_rcTextPadding);
  LONG left = m_rcItem.left + padding.left;
  LONG right = m_rcItem.right - padding.right;
  LONG top = m_rcItem.top + padding.top;
  LONG bottom = m_rcItem.bottom - padding.bottom;
  LONG x = left;
  if (m_uTextStyle & DT_CENTER)
    x = (left + right - extent.cx) / 2;
  else if (m_uTextStyle & DT_RIGHT)
    x = right - extent.cx;
  LONG y = top;
  if (m_uTextStyle & DT_BOTTOM)
    y = bottom - extent.cy;
  else if (!(m_uTextStyle & DT_TOP))
    y = (top + bottom - extent.cy) / 2;

  // Clipped across to the padded rectangle (taken either way round, as a
  // check box's padding may reach past its right edge), not vertically: a
  // font a little taller than its control still shows whole.
  RECT clip = {std::min(left, right), std::min(top, y), std::max(left, right),
               std::max(bottom, y + extent.cy)};
  ::SetBkMode(hDC, TRANSPARENT);
  ::SetTextColor(hDC, ToColorRef(color ? color : 0xFF000000));
  ::ExtTextOutA(hDC, x, y, ETO_CLIPPED, &clip, text, static_cast<UINT>(length), nullptr);
  ::SelectObject(hDC, oldFont);
  RECT drawn = {std::max(x, clip.left), clip.top, std::min(x + extent.cx, clip.right), clip.bottom};
  m_rcText = drawn;
}

}  // namespace DuiLib
