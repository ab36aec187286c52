// Containers: children laid out vertically, horizontally, or one at a time
// (tab layout). Floating children are placed at their offset inside the
// container. A container owns its children and deletes them.
#pragma once

#include <vector>

#include "ui/ui_control.h"

namespace DuiLib {

class IContainerUI {
 public:
  virtual CControlUI* GetItemAt(int iIndex) const = 0;
  virtual int GetItemIndex(CControlUI* pControl) const = 0;
  virtual int GetCount() const = 0;
  // Takes ownership of |pControl|; a control that was another window's
  // root moves into this window with its handlers.
  virtual bool Add(CControlUI* pControl) = 0;
  virtual bool AddAt(CControlUI* pControl, int iIndex) = 0;
  // Removes and deletes |pControl| (unless |bDoNotDestroy|).
  virtual bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) = 0;
  virtual void RemoveAll() = 0;

 protected:
  ~IContainerUI() = default;
};

class CContainerUI : public CControlUI, public IContainerUI {
 public:
  CContainerUI() = default;
  ~CContainerUI() override;

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;

  CControlUI* GetItemAt(int iIndex) const override;
  int GetItemIndex(CControlUI* pControl) const override;
  int GetCount() const override { return static_cast<int>(m_items.size()); }
  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
  void RemoveAll() override;

  void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
  void SetVisible(bool bVisible = true) override;
  void SetInternVisible(bool bVisible = true) override;
  void SetPos(RECT rc) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void OnDpiChanged() override;
  CControlUI* FindByName(LPCTSTR pstrName) override;
  CControlUI* FindAt(POINT pt, bool bMouseOnly) override;

  RECT GetInset() const { return m_rcInset; }
  void SetInset(RECT rc) {
    m_rcInset = rc;
    NeedUpdate();
  }
  int GetChildPadding() const { return m_iChildPadding; }
  void SetChildPadding(int iPadding) {
    m_iChildPadding = iPadding;
    NeedUpdate();
  }

 protected:
  // Places a floating child at its offset inside |rc|.
  void SetFloatPos(CControlUI* pControl, const RECT& rc);
  // Places the children in |rc| one after another, top to bottom when
  // |vertical|, left to right otherwise; children without a fixed size along
  // that line share what the fixed ones leave.
  void ArrangeInLine(RECT rc, bool vertical);
  // |rc| less the inset, in device pixels.
  RECT InnerRect(const RECT& rc) const;
  std::vector<CControlUI*> m_items;
  RECT m_rcInset = {0, 0, 0, 0};
  int m_iChildPadding = 0;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  void SetPos(RECT rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  void SetPos(RECT rc) override;
};

// Shows one child at a time, each filling the layout.
class CTabLayoutUI : public CContainerUI {
 public:
  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;

  bool Add(CControlUI* pControl) override;
  bool AddAt(CControlUI* pControl, int iIndex) override;
  bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
  void RemoveAll() override;
  void SetVisible(bool bVisible = true) override;
  void SetInternVisible(bool bVisible = true) override;
  void SetPos(RECT rc) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

  int GetCurSel() const { return m_iCurSel; }
  // Shows child |iIndex|; sends "tabselect" (wParam new, lParam old index)
  // when |bTriggerEvent|. False for an index out of range.
  bool SelectItem(int iIndex, bool bTriggerEvent = true);
  bool SelectItem(CControlUI* pControl, bool bTriggerEvent = true);

 private:
  void ApplySelection();
  int m_iCurSel = -1;
};

}  // namespace DuiLib
