#include "ui/ui_progress.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/accessible_window.h"

namespace DuiLib {

LPCTSTR CProgressUI::GetClass() const { return "ProgressUI"; }

LPVOID CProgressUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "Progress") == 0) return this;
  return CLabelUI::GetInterface(pstrName);
}

void CProgressUI::SetMinValue(int nMin) {
  m_nMin = nMin;
  if (m_nMax < m_nMin) m_nMax = m_nMin;
  SetValue(m_nValue);
  Invalidate();
}

void CProgressUI::SetMaxValue(int nMax) {
  m_nMax = nMax;
  if (m_nMin > m_nMax) m_nMin = m_nMax;
  SetValue(m_nValue);
  Invalidate();
}

void CProgressUI::SetValue(int nValue) {
  nValue = std::max(m_nMin, std::min(nValue, m_nMax));
  if (nValue == m_nValue) return;
  m_nValue = nValue;
  Invalidate();
  NotifyAccessibleEvent(this, EVENT_OBJECT_VALUECHANGE);
}

RECT CProgressUI::GetFillRect() const {
  RECT rc = m_rcItem;
  long long range = static_cast<long long>(m_nMax) - m_nMin;
  long long done = static_cast<long long>(m_nValue) - m_nMin;
  if (range <= 0) {
    if (m_bHorizontal)
      rc.right = rc.left;
    else
      rc.top = rc.bottom;
    return rc;
  }
  if (m_bHorizontal) {
    rc.right = rc.left + static_cast<LONG>((m_rcItem.right - m_rcItem.left) * done / range);
  } else {
    rc.top = rc.bottom - static_cast<LONG>((m_rcItem.bottom - m_rcItem.top) * done / range);
  }
  return rc;
}

void CProgressUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  if (name == "foreimage")
    SetForeImage(pstrValue);
  else if (name == "hor")
    SetHorizontal(ParseBool(pstrValue));
  else if (name == "min")
    SetMinValue(std::atoi(pstrValue));
  else if (name == "max")
    SetMaxValue(std::atoi(pstrValue));
  else if (name == "value")
    SetValue(std::atoi(pstrValue));
  else
    CLabelUI::SetAttribute(pstrName, pstrValue);
}

void CProgressUI::PaintStatusImage(HDC hDC) {
  RECT fill = GetFillRect();
  if (fill.right <= fill.left || fill.bottom <= fill.top) return;
  // The whole fill image is stretched over the done part.
  DrawImage(hDC, m_sForeImage, &fill);
}

}  // namespace DuiLib
