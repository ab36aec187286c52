// A check box or, with a group name, a radio button. Clicking sends
// "click", then toggles (or, in a group, selects) and sends "selectchanged".
#pragma once

#include "ui/ui_button.h"

namespace DuiLib {

class COptionUI : public CButtonUI {
 public:
  COptionUI() = default;
  ~COptionUI() override;

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  bool Activate() override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintStatusImage(HDC hDC) override;

  bool IsSelected() const { return m_bSelected; }
  // Changes the selection; in a group, selecting one clears the others of
  // the same window. Sends "selectchanged" when |bTriggerEvent| and the
  // state changed.
  virtual void Selected(bool bSelected, bool bTriggerEvent = true);
  CDuiString GetGroup() const { return m_sGroupName; }
  void SetGroup(LPCTSTR pStrGroupName);

  CDuiString GetSelectedImage() const { return m_sSelectedImage; }
  void SetSelectedImage(LPCTSTR v) {
    m_sSelectedImage = v;
    Invalidate();
  }
  void SetSelectedHotImage(LPCTSTR v) {
    m_sSelectedHotImage = v;
    Invalidate();
  }
  void SetSelectedTextColor(DWORD c) { m_dwSelectedTextColor = c; }

 protected:
  DWORD CurrentTextColor() const override;

  bool m_bSelected = false;
  CDuiString m_sGroupName;
  CDuiString m_sSelectedImage;
  CDuiString m_sSelectedHotImage;
  DWORD m_dwSelectedTextColor = 0;
};

}  // namespace DuiLib
