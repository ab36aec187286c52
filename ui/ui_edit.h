// A single-line edit field. While it has the focus a native EDIT child
// window sits over it and takes the keyboard (so typing, selection, the
// clipboard and input methods work as in any Windows field); otherwise the
// framework draws the text, or the hint text while the field is empty.
#pragma once

#include "ui/ui_label.h"
#include "util/scoped_gdi.h"

namespace DuiLib {

class CEditUI : public CLabelUI {
 public:
  CEditUI();
  ~CEditUI() override;

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  bool TakesMouse() const override { return true; }
  bool AcceptsFocus() const override { return true; }
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void SetEnabled(bool bEnable = true) override;
  void SetVisible(bool bVisible = true) override;
  void SetInternVisible(bool bVisible = true) override;
  void SetPos(RECT rc) override;
  void OnDpiChanged() override;
  void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
  void DoEvent(TEventUI& event) override;
  void PaintStatusImage(HDC hDC) override;
  void PaintText(HDC hDC) override;

  // While the native field is open, GetText reads it.
  CDuiString GetText() const override;
  void SetText(LPCTSTR pstrText) override;

  // 0 means no limit.
  void SetMaxChar(UINT uMax);
  UINT GetMaxChar() const { return m_uMaxChar; }
  void SetReadOnly(bool bReadOnly);
  bool IsReadOnly() const { return m_bReadOnly; }
  void SetPasswordMode(bool bPasswordMode) {
    m_bPasswordMode = bPasswordMode;
    Invalidate();
  }
  bool IsPasswordMode() const { return m_bPasswordMode; }
  CDuiString GetTipValue() const { return m_sTipValue; }
  void SetTipValue(LPCTSTR pStrTipValue) {
    m_sTipValue = pStrTipValue;
    Invalidate();
  }
  DWORD GetTipValueColor() const { return m_dwTipValueColor; }
  void SetTipValueColor(DWORD c) {
    m_dwTipValueColor = c;
    Invalidate();
  }
  DWORD GetNativeEditBkColor() const { return m_dwEditbkColor; }
  void SetNativeEditBkColor(DWORD c) { m_dwEditbkColor = c; }
  // The native field while the control has the focus, else null.
  HWND GetNativeWindow() const { return m_hWndEdit; }

  // Called by the native field's window procedure.
  LRESULT HandleNativeMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  // Colours of the native field (WM_CTLCOLOREDIT in the host window).
  LRESULT OnNativeColor(HDC hDC) override;

 private:
  void OpenNativeEdit();
  void CloseNativeEdit();
  RECT NativeEditRect() const;

  UINT m_uMaxChar = 255;
  bool m_bReadOnly = false;
  bool m_bPasswordMode = false;
  UINT m_uButtonState = 0;
  CDuiString m_sTipValue;
  DWORD m_dwTipValueColor = 0xFFBAC0C5;
  DWORD m_dwEditbkColor = 0xFFFFFFFF;
  // Handed to the native field for its background (WM_CTLCOLOREDIT).
  tn::ScopedBrush m_hEditBrush;
  HWND m_hWndEdit = nullptr;
  WNDPROC m_pOldEditProc = nullptr;
  CDuiString m_sNormalImage;
  CDuiString m_sHotImage;
  CDuiString m_sFocusedImage;
  CDuiString m_sDisabledImage;
};

}  // namespace DuiLib
