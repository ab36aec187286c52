// A read-only multi-line text with word wrapping and a vertical scroll bar
// (mouse wheel, clicks on the track, dragging the thumb).
#pragma once

#include <string>
#include <vector>

#include "ui/ui_container.h"

namespace DuiLib {

class CRichEditUI : public CContainerUI {
 public:
  CRichEditUI() = default;

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  bool TakesMouse() const override { return true; }
  // Readable (and scrollable) from the keyboard too.
  bool AcceptsFocus() const override { return true; }
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void SetText(LPCTSTR pstrText) override;
  void SetPos(RECT rc) override;
  void OnDpiChanged() override;
  void DoEvent(TEventUI& event) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;

  bool IsReadOnly() const { return m_bReadOnly; }
  void SetReadOnly(bool bReadOnly) { m_bReadOnly = bReadOnly; }
  void SetTextColor(DWORD c) {
    m_dwTextColor = c;
    Invalidate();
  }
  void SetFont(int index) {
    m_iFont = index;
    m_bLinesValid = false;
    Invalidate();
  }

  // Scroll position in pixels from the top of the text, and its range.
  int GetScrollPos() const { return m_nScrollPos; }
  int GetScrollRange() const;
  // Kept within [0, range].
  void SetScrollPos(int nPos);
  bool HasScrollBar() const { return m_bVScrollBar && GetScrollRange() > 0; }
  // Track and thumb in client coordinates (empty without a scroll bar).
  RECT GetScrollTrackRect() const;
  RECT GetScrollThumbRect() const;
  // Number of wrapped lines of the current text at the current width.
  int GetLineCount();

 private:
  void LayoutLines(HDC hDC);
  RECT TextRect() const;

  bool m_bReadOnly = true;
  bool m_bVScrollBar = false;
  bool m_bWordWrap = true;
  bool m_bMultiline = true;
  DWORD m_dwTextColor = 0xFF000000;
  int m_iFont = -1;
  RECT m_rcTextPadding = {4, 4, 4, 4};
  UINT m_uTextStyle = DT_LEFT;
  std::vector<std::string> m_lines;
  bool m_bLinesValid = false;
  int m_nLineHeight = 16;
  int m_nScrollPos = 0;
  bool m_bDraggingThumb = false;
  int m_nDragStartY = 0;
  int m_nDragStartPos = 0;
};

}  // namespace DuiLib
