// A push button: state images (normal, hot, pushed, focused, disabled),
// state text colours, and a "click" notification when the left button is
// released over it.
#pragma once

#include "ui/ui_label.h"

namespace DuiLib {

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  bool TakesMouse() const override { return true; }
  bool AcceptsFocus() const override { return true; }
  void SetEnabled(bool bEnable = true) override;
  void DoEvent(TEventUI& event) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintStatusImage(HDC hDC) override;

  // Sends "click"; false when disabled or hidden.
  virtual bool Activate();
  UINT GetButtonState() const { return m_uButtonState; }

  CDuiString GetNormalImage() const { return m_sNormalImage; }
  void SetNormalImage(LPCTSTR v) {
    m_sNormalImage = v;
    Invalidate();
  }
  CDuiString GetHotImage() const { return m_sHotImage; }
  void SetHotImage(LPCTSTR v) {
    m_sHotImage = v;
    Invalidate();
  }
  CDuiString GetPushedImage() const { return m_sPushedImage; }
  void SetPushedImage(LPCTSTR v) {
    m_sPushedImage = v;
    Invalidate();
  }
  CDuiString GetDisabledImage() const { return m_sDisabledImage; }
  void SetDisabledImage(LPCTSTR v) {
    m_sDisabledImage = v;
    Invalidate();
  }
  CDuiString GetFocusedImage() const { return m_sFocusedImage; }
  void SetFocusedImage(LPCTSTR v) {
    m_sFocusedImage = v;
    Invalidate();
  }
  void SetHotTextColor(DWORD c) { m_dwHotTextColor = c; }
  DWORD GetHotTextColor() const { return m_dwHotTextColor; }
  void SetPushedTextColor(DWORD c) { m_dwPushedTextColor = c; }
  DWORD GetPushedTextColor() const { return m_dwPushedTextColor; }
  void SetFocusedTextColor(DWORD c) { m_dwFocusedTextColor = c; }

 protected:
  DWORD CurrentTextColor() const override;

  UINT m_uButtonState = 0;
  DWORD m_dwHotTextColor = 0;
  DWORD m_dwPushedTextColor = 0;
  DWORD m_dwFocusedTextColor = 0;
  CDuiString m_sNormalImage;
  CDuiString m_sHotImage;
  CDuiString m_sPushedImage;
  CDuiString m_sDisabledImage;
  CDuiString m_sFocusedImage;
};

}  // namespace DuiLib
