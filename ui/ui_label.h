// A text on an optional background: font, colours, alignment, padding.
#pragma once

#include <algorithm>

#include "ui/ui_control.h"

namespace DuiLib {

class CLabelUI : public CControlUI {
 public:
  CLabelUI() = default;

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintText(HDC hDC) override;
  RECT GetPaintBounds() const override;

  // DT_LEFT / DT_CENTER / DT_RIGHT combined with DT_TOP / DT_VCENTER / DT_BOTTOM.
  UINT GetTextStyle() const { return m_uTextStyle; }
  void SetTextStyle(UINT uStyle) {
    m_uTextStyle = uStyle;
    Invalidate();
  }
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetTextColor(DWORD dwTextColor) {
    m_dwTextColor = dwTextColor;
    Invalidate();
  }
  DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
  void SetDisabledTextColor(DWORD dwColor) {
    m_dwDisabledTextColor = dwColor;
    Invalidate();
  }
  int GetFont() const { return m_iFont; }
  void SetFont(int index) {
    m_iFont = index;
    Invalidate();
  }
  RECT GetTextPadding() const { return m_rcTextPadding; }
  // Where the text was drawn last (empty before the first paint).
  RECT GetTextRect() const { return m_rcText; }
  void SetTextPadding(RECT rc) {
    m_rcTextPadding = rc;
    Invalidate();
  }

 protected:
  // Draws |text| in |color| inside the padded item rectangle. Alignment is
  // taken from the middle of the padded rectangle even when the padding is
  // wider than the control, so a check box's caption can sit beside its box.
  void DrawLabelText(HDC hDC, LPCTSTR text, DWORD color);
  // The colour for the current state; 0 means "not set".
  virtual DWORD CurrentTextColor() const;

  UINT m_uTextStyle = DT_LEFT | DT_VCENTER;
  DWORD m_dwTextColor = 0;
  DWORD m_dwDisabledTextColor = 0;
  int m_iFont = -1;
  RECT m_rcTextPadding = {0, 0, 0, 0};
  RECT m_rcText = {0, 0, 0, 0};  // where the text was drawn last
};

}  // namespace DuiLib
