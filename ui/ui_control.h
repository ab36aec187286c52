// The base of every control: position, visibility, state, texts, colours
// and background, painting and input hooks.
#pragma once

#include <windows.h>

#include "ui/delegate.h"
#include "ui/ui_manager.h"
#include "ui/ui_string.h"

namespace DuiLib {

#define DUI_CTR_CONTROL "Control"

// Button state bits.
enum {
  UISTATE_FOCUSED = 0x01,
  UISTATE_SELECTED = 0x02,
  UISTATE_DISABLED = 0x04,
  UISTATE_HOT = 0x08,
  UISTATE_PUSHED = 0x10,
  UISTATE_CAPTURED = 0x40,
};

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual CDuiString GetName() const { return m_sName; }
  virtual void SetName(LPCTSTR pstrName) { m_sName = pstrName; }
  // The class name, e.g. "ButtonUI".
  virtual LPCTSTR GetClass() const;
  // |this| cast to the named interface ("Control", "Button", ...) or null.
  virtual LPVOID GetInterface(LPCTSTR pstrName);

  CPaintManagerUI* GetManager() const { return m_pManager; }
  virtual void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true);
  CControlUI* GetParent() const { return m_pParent; }

  virtual CDuiString GetText() const { return m_sText; }
  virtual void SetText(LPCTSTR pstrText);

  virtual bool IsVisible() const { return m_bVisible && m_bInternVisible; }
  virtual void SetVisible(bool bVisible = true);
  // Visibility imposed by a parent (tab layout, hidden container).
  virtual void SetInternVisible(bool bVisible = true);
  virtual bool IsEnabled() const { return m_bEnabled; }
  virtual void SetEnabled(bool bEnabled = true);
  virtual bool IsFocused() const { return m_bFocused; }
  virtual void SetFocus();
  // Whether the control takes the keyboard focus (buttons, options, edit
  // fields, scrollable text); such a control is a tab stop unless the skin
  // says tabstop="false".
  virtual bool AcceptsFocus() const { return false; }
  bool IsTabStop() const { return m_bTabStop && AcceptsFocus(); }
  void SetTabStop(bool bTabStop) { m_bTabStop = bTabStop; }
  // Tab stops are visited in ascending tab index (0 unless the skin sets
  // "tabindex"), controls of equal index in layout order.
  int GetTabIndex() const { return m_iTabIndex; }
  void SetTabIndex(int iIndex) { m_iTabIndex = iIndex; }
  CDuiString GetToolTip() const { return m_sToolTip; }
  void SetToolTip(LPCTSTR pstrText) { m_sToolTip = pstrText; }
  // What a screen reader calls the control when its text does not say it
  // (skin attribute "accessiblename"); empty when not set.
  CDuiString GetAccessibleName() const { return m_sAccessibleName; }
  void SetAccessibleName(LPCTSTR pstrName) { m_sAccessibleName = pstrName; }
  bool IsFloat() const { return m_bFloat; }
  void SetFloat(bool bFloat) {
    m_bFloat = bFloat;
    NeedParentUpdate();
  }

  // Position in the window's client area, set by the parent's layout.
  virtual const RECT& GetPos() const { return m_rcItem; }
  virtual void SetPos(RECT rc);
  // Layout input: offset inside the parent for floating controls, fixed
  // size (0 = take what the layout gives).
  SIZE GetFixedXY() const { return m_cXY; }
  void SetFixedXY(SIZE szXY) {
    m_cXY = szXY;
    NeedParentUpdate();
  }
  int GetFixedWidth() const { return m_cxyFixed.cx; }
  void SetFixedWidth(int cx) {
    if (cx >= 0) {
      m_cxyFixed.cx = cx;
      NeedParentUpdate();
    }
  }
  int GetFixedHeight() const { return m_cxyFixed.cy; }
  void SetFixedHeight(int cy) {
    if (cy >= 0) {
      m_cxyFixed.cy = cy;
      NeedParentUpdate();
    }
  }
  int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
  int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }

  DWORD GetBkColor() const { return m_dwBackColor; }
  void SetBkColor(DWORD dwBackColor) {
    m_dwBackColor = dwBackColor;
    Invalidate();
  }
  CDuiString GetBkImage() const { return m_sBkImage; }
  // An image path ("image\x.bmp") or an image description
  // ("file='image\x.bmp' source='0,0,19,15'").
  void SetBkImage(LPCTSTR pStrImage) {
    m_sBkImage = pStrImage;
    Invalidate();
  }

  virtual void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue);
  void SetUserData(LPCTSTR pstrText) { m_sUserData = pstrText; }
  CDuiString GetUserData() const { return m_sUserData; }
  void SetTag(UINT_PTR tag) { m_pTag = tag; }
  UINT_PTR GetTag() const { return m_pTag; }

  // Asks the window to repaint this control.
  void Invalidate();
  // The parent must lay out its children again.
  void NeedParentUpdate();
  void NeedUpdate();

  // Brush for a native child window of this control (WM_CTLCOLOR*), or 0.
  virtual LRESULT OnNativeColor(HDC hDC) {
    (void)hDC;
    return 0;
  }
  // The area this control paints; text may reach beyond the item.
  virtual RECT GetPaintBounds() const { return m_rcItem; }
  // Controls that take the mouse are not part of the caption area.
  virtual bool TakesMouse() const { return false; }
  virtual void DoEvent(TEventUI& event);
  // The window now draws for another DPI (fonts were made anew); a layout
  // follows. Containers pass it on to their children.
  virtual void OnDpiChanged() {}
  virtual void DoPaint(HDC hDC, const RECT& rcPaint);
  virtual void PaintBkColor(HDC hDC);
  virtual void PaintBkImage(HDC hDC);
  virtual void PaintStatusImage(HDC hDC);
  virtual void PaintText(HDC hDC);
  // Draws an image description over this control; false when the image
  // cannot be loaded.
  bool DrawImage(HDC hDC, LPCTSTR pStrImage, const RECT* pDest = nullptr);

  // This control or the first descendant named |pstrName| (depth first),
  // or null.
  virtual CControlUI* FindByName(LPCTSTR pstrName);
  // The topmost visible control at |pt|; with |bMouseOnly| only controls
  // that take the mouse count.
  virtual CControlUI* FindAt(POINT pt, bool bMouseOnly);

  // Whether |pControl| is a control that has not been deleted.
  static bool IsLive(const CControlUI* pControl);

  CEventSource OnNotify;
  CEventSource OnEvent;

 protected:
  void ParseRect(LPCTSTR value, RECT* rc) const;
  // The hover look of controls that have one: the pointer entering the
  // enabled control sets UISTATE_HOT in |state|, leaving clears it with
  // UISTATE_PUSHED and UISTATE_CAPTURED; either repaints. Other events are
  // left alone.
  void UpdateHotState(const TEventUI& event, UINT* state);
  // The scale of the window this control is in (96 DPI without one). Skin
  // lengths held by controls become device pixels only through it.
  const CDpiScale& GetDpiScale() const;

  CPaintManagerUI* m_pManager = nullptr;
  CControlUI* m_pParent = nullptr;
  CDuiString m_sName;
  CDuiString m_sText;
  CDuiString m_sUserData;
  UINT_PTR m_pTag = 0;
  RECT m_rcItem = {0, 0, 0, 0};
  SIZE m_cXY = {0, 0};
  SIZE m_cxyFixed = {0, 0};
  bool m_bVisible = true;
  bool m_bInternVisible = true;
  bool m_bEnabled = true;
  bool m_bFocused = false;
  bool m_bFloat = false;
  DWORD m_dwBackColor = 0;
  CDuiString m_sBkImage;
  bool m_bTabStop = true;
  int m_iTabIndex = 0;
  CDuiString m_sToolTip;
  CDuiString m_sAccessibleName;
};

// Skin attribute values.
// "#AARRGGBB" (or "#RRGGBB", opaque) to 0xAARRGGBB; false for anything else.
bool ParseColor(LPCTSTR value, DWORD* color);
// True for "true" only.
bool ParseBool(LPCTSTR value);
// DT_CENTER when |value| says "center", DT_RIGHT for "right", else DT_LEFT.
UINT ParseTextAlign(LPCTSTR value);
// DT_TOP when |value| says "top", DT_BOTTOM for "bottom", else DT_VCENTER.
UINT ParseTextVAlign(LPCTSTR value);
// 0xAARRGGBB to a GDI COLORREF (alpha dropped).
inline COLORREF ToColorRef(DWORD argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

}  // namespace DuiLib
