#include "ui/ui_container.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/accessible_window.h"
#include "ui/render.h"

namespace DuiLib {

// --- CContainerUI ------------------------------------------------------------

CContainerUI::~CContainerUI() {
  std::vector<CControlUI*> items;
  items.swap(m_items);
  for (CControlUI* item : items) delete item;
}

LPCTSTR CContainerUI::GetClass() const { return "ContainerUI"; }

LPVOID CContainerUI::GetInterface(LPCTSTR pstrName) {
  if (!pstrName) return nullptr;
  if (std::strcmp(pstrName, "IContainer") == 0) return static_cast<IContainerUI*>(this);
  if (std::strcmp(pstrName, "Container") == 0) return static_cast<CContainerUI*>(this);
  return CControlUI::GetInterface(pstrName);
}

CControlUI* CContainerUI::GetItemAt(int iIndex) const {
  if (iIndex < 0 || iIndex >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(iIndex)];
}

int CContainerUI::GetItemIndex(CControlUI* pControl) const {
  auto it = std::find(m_items.begin(), m_items.end(), pControl);
  return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

bool CContainerUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CContainerUI::AddAt(CControlUI* pControl, int iIndex) {
  if (!pControl || pControl == this || iIndex < 0 || iIndex > GetCount()) return false;
  // Refuse to make a control its own ancestor.
  for (CControlUI* p = this; p; p = p->GetParent()) {
    if (p == pControl) return false;
  }
  if (CControlUI* oldParent = pControl->GetParent()) {
    if (auto* container = static_cast<IContainerUI*>(oldParent->GetInterface("IContainer")))
      container->Remove(pControl, true);
  }
  m_items.insert(m_items.begin() + iIndex, pControl);
  pControl->SetManager(m_pManager, this, false);
  if (m_pManager) m_pManager->InitControls(pControl);
  pControl->SetInternVisible(IsVisible());
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* pControl, bool bDoNotDestroy) {
  auto it = std::find(m_items.begin(), m_items.end(), pControl);
  if (it == m_items.end()) return false;
  m_items.erase(it);
  NeedUpdate();
  if (bDoNotDestroy) {
    if (m_pManager) m_pManager->ReapObjects(pControl);
    pControl->SetManager(nullptr, nullptr, false);
  } else {
    delete pControl;
  }
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(m_items);
  for (CControlUI* item : items) delete item;
  NeedUpdate();
}

void CContainerUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
  for (CControlUI* item : m_items) item->SetManager(pManager, this, false);
  CControlUI::SetManager(pManager, pParent, bInit);
}

void CContainerUI::SetVisible(bool bVisible) {
  CControlUI::SetVisible(bVisible);
  for (CControlUI* item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool bVisible) {
  CControlUI::SetInternVisible(bVisible);
  for (CControlUI* item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::OnDpiChanged() {
  for (CControlUI* item : m_items) item->OnDpiChanged();
}

RECT CContainerUI::InnerRect(const RECT& rc) const {
  RECT inset = GetDpiScale().Scale(m_rcInset);
  return RECT{rc.left + inset.left, rc.top + inset.top, rc.right - inset.right,
              rc.bottom - inset.bottom};
}

void CContainerUI::SetFloatPos(CControlUI* pControl, const RECT& rc) {
  const CDpiScale& scale = GetDpiScale();
  SIZE xy = scale.Scale(pControl->GetFixedXY());
  RECT pos;
  pos.left = rc.left + xy.cx;
  pos.top = rc.top + xy.cy;
  int cx = scale.Scale(pControl->GetFixedWidth());
  int cy = scale.Scale(pControl->GetFixedHeight());
  pos.right = cx > 0 ? pos.left + cx : rc.right;
  pos.bottom = cy > 0 ? pos.top + cy : rc.bottom;
  pControl->SetPos(pos);
}

void CContainerUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  RECT inner = InnerRect(rc);
  for (CControlUI* item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(item, m_rcItem);
    } else {
      item->SetPos(inner);
    }
  }
}

void CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT overlap;
  if (!::IntersectRect(&overlap, &rcPaint, &m_rcItem)) return;
  int saved = ::SaveDC(hDC);
  ::IntersectClipRect(hDC, overlap.left, overlap.top, overlap.right, overlap.bottom);
  CControlUI::DoPaint(hDC, rcPaint);
  for (CControlUI* item : m_items) {
    if (item->IsVisible()) item->DoPaint(hDC, rcPaint);
  }
  ::RestoreDC(hDC, saved);
}

void CContainerUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  if (std::strcmp(pstrName, "inset") == 0) {
    RECT rc;
    ParseRectValue(pstrValue, &rc);
    SetInset(rc);
  } else if (std::strcmp(pstrName, "childpadding") == 0) {
    SetChildPadding(std::atoi(pstrValue));
  } else {
    CControlUI::SetAttribute(pstrName, pstrValue);
  }
}

CControlUI* CContainerUI::FindByName(LPCTSTR pstrName) {
  if (CControlUI* self = CControlUI::FindByName(pstrName)) return self;
  for (CControlUI* item : m_items) {
    if (CControlUI* found = item->FindByName(pstrName)) return found;
  }
  return nullptr;
}

CControlUI* CContainerUI::FindAt(POINT pt, bool bMouseOnly) {
  if (!IsVisible() || !::PtInRect(&m_rcItem, pt)) return nullptr;
  // Later children paint over earlier ones, so they are hit first.
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* found = (*it)->FindAt(pt, bMouseOnly)) return found;
  }
  if (bMouseOnly && !TakesMouse()) return nullptr;
  return this;
}

void CContainerUI::ArrangeInLine(RECT rc, bool vertical) {
  CControlUI::SetPos(rc);
  RECT inner = InnerRect(rc);
  const CDpiScale& scale = GetDpiScale();
  auto along = [vertical, &scale](CControlUI* item) {
    return scale.Scale(vertical ? item->GetFixedHeight() : item->GetFixedWidth());
  };
  auto across = [vertical, &scale](CControlUI* item) {
    return scale.Scale(vertical ? item->GetFixedWidth() : item->GetFixedHeight());
  };
  const int padding = scale.Scale(m_iChildPadding);
  const int length = vertical ? inner.bottom - inner.top : inner.right - inner.left;
  const int breadth = vertical ? inner.right - inner.left : inner.bottom - inner.top;
  int fixed = 0, stretch = 0, count = 0;
  for (CControlUI* item : m_items) {
    if (!item->IsVisible() || item->IsFloat()) continue;
    ++count;
    if (along(item) > 0)
      fixed += along(item);
    else
      ++stretch;
  }
  int space = length - fixed - std::max(0, count - 1) * padding;
  int share = stretch > 0 ? std::max(0, space) / stretch : 0;
  int offset = vertical ? inner.top : inner.left;
  for (CControlUI* item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(item, m_rcItem);
      continue;
    }
    const int size = along(item) > 0 ? along(item) : share;
    const int thickness = across(item) > 0 ? across(item) : breadth;
    item->SetPos(vertical ? RECT{inner.left, offset, inner.left + thickness, offset + size}
                          : RECT{offset, inner.top, offset + size, inner.top + thickness});
    offset += size + padding;
  }
}

// --- CVerticalLayoutUI -------------------------------------------------------

LPCTSTR CVerticalLayoutUI::GetClass() const { return "VerticalLayoutUI"; }

LPVOID CVerticalLayoutUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "VerticalLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CVerticalLayoutUI::SetPos(RECT rc) { ArrangeInLine(rc, true); }

// --- CHorizontalLayoutUI -----------------------------------------------------

LPCTSTR CHorizontalLayoutUI::GetClass() const { return "HorizontalLayoutUI"; }

LPVOID CHorizontalLayoutUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "HorizontalLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CHorizontalLayoutUI::SetPos(RECT rc) { ArrangeInLine(rc, false); }

// --- CTabLayoutUI ------------------------------------------------------------

LPCTSTR CTabLayoutUI::GetClass() const { return "TabLayoutUI"; }

LPVOID CTabLayoutUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "TabLayout") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

bool CTabLayoutUI::Add(CControlUI* pControl) { return AddAt(pControl, GetCount()); }

bool CTabLayoutUI::AddAt(CControlUI* pControl, int iIndex) {
  if (!CContainerUI::AddAt(pControl, iIndex)) return false;
  if (m_iCurSel < 0) {
    m_iCurSel = 0;
  } else if (iIndex <= m_iCurSel && GetCount() > 1) {
    ++m_iCurSel;
  }
  ApplySelection();
  return true;
}

bool CTabLayoutUI::Remove(CControlUI* pControl, bool bDoNotDestroy) {
  int index = GetItemIndex(pControl);
  if (index < 0) return false;
  if (!CContainerUI::Remove(pControl, bDoNotDestroy)) return false;
  if (GetCount() == 0) {
    m_iCurSel = -1;
  } else if (index < m_iCurSel || m_iCurSel >= GetCount()) {
    m_iCurSel = std::max(0, m_iCurSel - 1);
  }
  ApplySelection();
  return true;
}

void CTabLayoutUI::RemoveAll() {
  CContainerUI::RemoveAll();
  m_iCurSel = -1;
}

void CTabLayoutUI::SetVisible(bool bVisible) {
  CControlUI::SetVisible(bVisible);
  ApplySelection();
}

void CTabLayoutUI::SetInternVisible(bool bVisible) {
  CControlUI::SetInternVisible(bVisible);
  ApplySelection();
}

void CTabLayoutUI::ApplySelection() {
  for (int i = 0; i < GetCount(); ++i) {
    m_items[static_cast<size_t>(i)]->SetInternVisible(IsVisible() && i == m_iCurSel);
  }
  NeedUpdate();
}

void CTabLayoutUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  RECT inner = InnerRect(rc);
  for (CControlUI* item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat())
      SetFloatPos(item, m_rcItem);
    else
      item->SetPos(inner);
  }
}

bool CTabLayoutUI::SelectItem(int iIndex, bool bTriggerEvent) {
  if (iIndex < 0 || iIndex >= GetCount()) return false;
  int old = m_iCurSel;
  m_iCurSel = iIndex;
  // Hiding the old page first moves the focus out of it.
  if (old >= 0 && old < GetCount() && old != iIndex)
    m_items[static_cast<size_t>(old)]->SetInternVisible(false);
  ApplySelection();
  // Another page: a reader must read the window's children anew.
  if (old != iIndex) NotifyAccessibleClientEvent(m_pManager, EVENT_OBJECT_REORDER);
  if (bTriggerEvent && m_pManager && old != iIndex) {
    m_pManager->SendNotify(this, DUI_MSGTYPE_TABSELECT, static_cast<WPARAM>(iIndex),
                           static_cast<LPARAM>(old));
  }
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* pControl, bool bTriggerEvent) {
  int index = GetItemIndex(pControl);
  return index >= 0 && SelectItem(index, bTriggerEvent);
}

void CTabLayoutUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (pstrName && std::strcmp(pstrName, "selectedid") == 0) {
    SelectItem(std::atoi(pstrValue), false);
  } else {
    CContainerUI::SetAttribute(pstrName, pstrValue);
  }
}

}  // namespace DuiLib
