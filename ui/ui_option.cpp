#include "ui/ui_option.h"

#include <cstring>

#include "ui/accessible_window.h"
#include "ui/ui_container.h"

namespace DuiLib {

namespace {

void ClearGroup(CControlUI* control, const CDuiString& group, COptionUI* keep) {
  if (!control) return;
  if (auto* option = static_cast<COptionUI*>(control->GetInterface("Option"))) {
    if (option != keep && option->GetGroup() == group && option->IsSelected())
      option->Selected(false);
  }
  if (auto* container = static_cast<IContainerUI*>(control->GetInterface("IContainer"))) {
    for (int i = 0; i < container->GetCount(); ++i)
      ClearGroup(container->GetItemAt(i), group, keep);
  }
}

}  // namespace

COptionUI::~COptionUI() = default;

LPCTSTR COptionUI::GetClass() const { return "OptionUI"; }

LPVOID COptionUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "Option") == 0) return this;
  return CButtonUI::GetInterface(pstrName);
}

void COptionUI::SetGroup(LPCTSTR pStrGroupName) {
  m_sGroupName = pStrGroupName;
  Invalidate();
}

void COptionUI::Selected(bool bSelected, bool bTriggerEvent) {
  if (m_bSelected == bSelected) return;
  m_bSelected = bSelected;
  if (m_bSelected)
    m_uButtonState |= UISTATE_SELECTED;
  else
    m_uButtonState &= ~UISTATE_SELECTED;
  if (m_bSelected && !m_sGroupName.IsEmpty()) {
    CControlUI* root = this;
    while (root->GetParent()) root = root->GetParent();
    ClearGroup(root, m_sGroupName, this);
  }
  Invalidate();
  NotifyAccessibleEvent(this, EVENT_OBJECT_STATECHANGE);
  if (bTriggerEvent && m_pManager) {
    m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED, m_bSelected ? 1 : 0);
  }
}

bool COptionUI::Activate() {
  if (!IsVisible() || !IsEnabled()) return false;
  // The click goes out first and its handler may delete this control.
  bool selectedAfter = m_sGroupName.IsEmpty() ? !m_bSelected : true;
  CPaintManagerUI* manager = m_pManager;
  if (!manager) {
    Selected(selectedAfter);
    return true;
  }
  manager->SendNotify(this, DUI_MSGTYPE_CLICK);
  if (CControlUI::IsLive(this)) Selected(selectedAfter);
  return true;
}

void COptionUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  DWORD color;
  if (name == "selected")
    Selected(ParseBool(pstrValue), false);
  else if (name == "group")
    SetGroup(pstrValue);
  else if (name == "selectedimage")
    SetSelectedImage(pstrValue);
  else if (name == "selectedhotimage")
    SetSelectedHotImage(pstrValue);
  else if (name == "selectedtextcolor") {
    if (ParseColor(pstrValue, &color)) SetSelectedTextColor(color);
  } else
    CButtonUI::SetAttribute(pstrName, pstrValue);
}

DWORD COptionUI::CurrentTextColor() const {
  if (m_bSelected && IsEnabled() && m_dwSelectedTextColor) return m_dwSelectedTextColor;
  return CButtonUI::CurrentTextColor();
}

void COptionUI::PaintStatusImage(HDC hDC) {
  if (m_bSelected) {
    if ((m_uButtonState & UISTATE_HOT) && DrawImage(hDC, m_sSelectedHotImage)) return;
    if (DrawImage(hDC, m_sSelectedImage)) return;
  }
  CButtonUI::PaintStatusImage(hDC);
}

}  // namespace DuiLib
