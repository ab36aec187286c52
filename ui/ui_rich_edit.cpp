#include "ui/ui_rich_edit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/render.h"
#include "util/scoped_gdi.h"

namespace DuiLib {

namespace {

constexpr int kScrollBarWidth = 10;
constexpr int kMinThumbHeight = 20;
constexpr int kWheelLines = 3;
constexpr DWORD kTrackColor = 0xFFF0F0F0;
constexpr DWORD kThumbColor = 0xFFC1C1C1;
constexpr DWORD kThumbActiveColor = 0xFFA8A8A8;

}  // namespace

LPCTSTR CRichEditUI::GetClass() const { return "RichEditUI"; }

LPVOID CRichEditUI::GetInterface(LPCTSTR pstrName) {
  if (pstrName && std::strcmp(pstrName, "RichEdit") == 0) return this;
  return CContainerUI::GetInterface(pstrName);
}

void CRichEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) {
  if (!pstrName || !pstrValue) return;
  std::string name = pstrName;
  DWORD color;
  if (name == "vscrollbar")
    m_bVScrollBar = ParseBool(pstrValue);
  else if (name == "readonly")
    m_bReadOnly = ParseBool(pstrValue);
  else if (name == "multiline") {
    m_bMultiline = ParseBool(pstrValue);
    m_bLinesValid = false;
  } else if (name == "wordwrap") {
    m_bWordWrap = ParseBool(pstrValue);
    m_bLinesValid = false;
  } else if (name == "textcolor") {
    if (ParseColor(pstrValue, &color)) SetTextColor(color);
  } else if (name == "font")
    SetFont(std::atoi(pstrValue));
  else if (name == "textpadding") {
    ParseRectValue(pstrValue, &m_rcTextPadding);
    m_bLinesValid = false;
  } else if (name == "align") {
    m_uTextStyle = ParseTextAlign(pstrValue);
  } else if (name == "rich" || name == "autovscroll" || name == "want return" ||
             name == "wantreturn") {
    // Plain text only; these change nothing for a read-only view.
  } else {
    CContainerUI::SetAttribute(pstrName, pstrValue);
  }
}

void CRichEditUI::SetText(LPCTSTR pstrText) {
  CContainerUI::SetText(pstrText);
  m_bLinesValid = false;
  m_nScrollPos = 0;
}

void CRichEditUI::SetPos(RECT rc) {
  bool widthChanged = (rc.right - rc.left) != (m_rcItem.right - m_rcItem.left);
  CContainerUI::SetPos(rc);
  if (widthChanged) m_bLinesValid = false;
}

void CRichEditUI::OnDpiChanged() {
  // Lines wrap anew with the new font; the same part of the text stays in view.
  int oldLineHeight = m_nLineHeight;
  m_bLinesValid = false;
  GetLineCount();
  if (oldLineHeight > 0) {
    m_nScrollPos =
        static_cast<int>(static_cast<long long>(m_nScrollPos) * m_nLineHeight / oldLineHeight);
  }
  m_nScrollPos = std::max(0, std::min(m_nScrollPos, GetScrollRange()));
  CContainerUI::OnDpiChanged();
}

RECT CRichEditUI::TextRect() const {
  const CDpiScale& scale = GetDpiScale();
  const RECT padding = scale.Scale(m_rcTextPadding);
  RECT rc = {m_rcItem.left + padding.left, m_rcItem.top + padding.top,
             m_rcItem.right - padding.right, m_rcItem.bottom - padding.bottom};
  if (m_bVScrollBar) rc.right -= scale.Scale(kScrollBarWidth);
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  return rc;
}

void CRichEditUI::LayoutLines(HDC hDC) {
  m_lines.clear();
  m_bLinesValid = true;
  if (!m_pManager) return;
  HGDIOBJ oldFont = ::SelectObject(hDC, m_pManager->GetFont(m_iFont));
  TEXTMETRICA tm = {};
  ::GetTextMetricsA(hDC, &tm);
  m_nLineHeight = std::max<int>(1, tm.tmHeight + tm.tmExternalLeading);
  RECT rc = TextRect();
  int width = std::max<int>(1, rc.right - rc.left);

  const std::string& text = m_sText.str();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string paragraph = text.substr(start, end - start);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
    if (!m_bMultiline) {
      std::replace(paragraph.begin(), paragraph.end(), '\t', ' ');
    }
    if (!m_bWordWrap || paragraph.empty()) {
      m_lines.push_back(paragraph);
    } else {
      size_t pos = 0;
      while (pos < paragraph.size()) {
        const char* rest = paragraph.c_str() + pos;
        int restLength = static_cast<int>(paragraph.size() - pos);
        int fit = 0;
        SIZE extent;
        ::GetTextExtentExPointA(hDC, rest, restLength, width, &fit, nullptr, &extent);
        // Never split a double-byte character, and always make progress.
        int cut = 0;
        while (cut < restLength) {
          int next = cut + AnsiCharLength(rest + cut);
          if (next > fit) break;
          cut = next;
        }
        if (cut == 0) cut = std::max(1, AnsiCharLength(rest));
        if (cut < restLength) {
          // Break Latin words at a blank when there is one on the line.
          unsigned char after = static_cast<unsigned char>(rest[cut]);
          unsigned char before = static_cast<unsigned char>(rest[cut - 1]);
          if (after < 0x80 && after != ' ' && before < 0x80 && before != ' ') {
            for (int k = cut - 1; k > 0; --k) {
              if (rest[k] == ' ') {
                cut = k + 1;
                break;
              }
              if (static_cast<unsigned char>(rest[k]) >= 0x80) break;
            }
          }
        }
        m_lines.push_back(std::string(rest, static_cast<size_t>(cut)));
        pos += static_cast<size_t>(cut);
      }
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  ::SelectObject(hDC, oldFont);
}

int CRichEditUI::GetLineCount() {
  if (!m_bLinesValid) {
    tn::ScopedGetDC screen(nullptr);
    LayoutLines(screen.Get());
  }
  return static_cast<int>(m_lines.size());
}

int CRichEditUI::GetScrollRange() const {
  if (!m_bLinesValid) const_cast<CRichEditUI*>(this)->GetLineCount();
  RECT rc = TextRect();
  int content = static_cast<int>(m_lines.size()) * m_nLineHeight;
  return std::max(0, content - static_cast<int>(rc.bottom - rc.top));
}

void CRichEditUI::SetScrollPos(int nPos) {
  nPos = std::max(0, std::min(nPos, GetScrollRange()));
  if (nPos == m_nScrollPos) return;
  m_nScrollPos = nPos;
  Invalidate();
}

RECT CRichEditUI::GetScrollTrackRect() const {
  if (!HasScrollBar()) return RECT{0, 0, 0, 0};
  const CDpiScale& scale = GetDpiScale();
  const int right = m_rcItem.right - scale.Scale(m_rcTextPadding.right);
  RECT rc = {right - scale.Scale(kScrollBarWidth), m_rcItem.top, right, m_rcItem.bottom};
  return rc;
}

RECT CRichEditUI::GetScrollThumbRect() const {
  RECT track = GetScrollTrackRect();
  int range = GetScrollRange();
  int trackHeight = track.bottom - track.top;
  if (trackHeight <= 0 || range <= 0) return RECT{0, 0, 0, 0};
  int view = trackHeight;
  int thumb = std::max(GetDpiScale().Scale(kMinThumbHeight), trackHeight * view / (view + range));
  thumb = std::min(thumb, trackHeight);
  int top = track.top + (trackHeight - thumb) * m_nScrollPos / range;
  return RECT{track.left, top, track.right, top + thumb};
}

void CRichEditUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      m_bFocused = event.Type == UIEVENT_SETFOCUS;
      Invalidate();
      return;
    case UIEVENT_KEYDOWN: {
      RECT text = TextRect();
      const int page = std::max<int>(m_nLineHeight, text.bottom - text.top - m_nLineHeight);
      switch (event.wParam) {
        case VK_UP: SetScrollPos(m_nScrollPos - m_nLineHeight); break;
        case VK_DOWN: SetScrollPos(m_nScrollPos + m_nLineHeight); break;
        case VK_PRIOR: SetScrollPos(m_nScrollPos - page); break;
        case VK_NEXT:
        case VK_SPACE: SetScrollPos(m_nScrollPos + page); break;
        case VK_HOME: SetScrollPos(0); break;
        case VK_END: SetScrollPos(GetScrollRange()); break;
        default: break;
      }
      return;
    }
    case UIEVENT_SCROLLWHEEL: {
      int delta = static_cast<short>(HIWORD(event.wParam));
      int lines = delta > 0 ? -kWheelLines : kWheelLines;
      SetScrollPos(m_nScrollPos + lines * m_nLineHeight);
      return;
    }
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK: {
      if (!HasScrollBar()) break;
      RECT thumb = GetScrollThumbRect();
      RECT track = GetScrollTrackRect();
      if (::PtInRect(&thumb, event.ptMouse)) {
        m_bDraggingThumb = true;
        m_nDragStartY = event.ptMouse.y;
        m_nDragStartPos = m_nScrollPos;
        Invalidate();
      } else if (::PtInRect(&track, event.ptMouse)) {
        RECT text = TextRect();
        int page = std::max<int>(m_nLineHeight, text.bottom - text.top - m_nLineHeight);
        SetScrollPos(m_nScrollPos + (event.ptMouse.y < thumb.top ? -page : page));
      }
      return;
    }
    case UIEVENT_MOUSEMOVE:
      if (m_bDraggingThumb) {
        RECT track = GetScrollTrackRect();
        RECT thumb = GetScrollThumbRect();
        int free = (track.bottom - track.top) - (thumb.bottom - thumb.top);
        if (free > 0) {
          long long moved =
              static_cast<long long>(event.ptMouse.y - m_nDragStartY) * GetScrollRange() / free;
          SetScrollPos(m_nDragStartPos + static_cast<int>(moved));
        }
      }
      return;
    case UIEVENT_BUTTONUP:
    case UIEVENT_MOUSELEAVE:
      if (m_bDraggingThumb && event.Type == UIEVENT_BUTTONUP) {
        m_bDraggingThumb = false;
        Invalidate();
      }
      return;
    default: break;
  }
  CContainerUI::DoEvent(event);
}

void CRichEditUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT overlap;
  if (!::IntersectRect(&overlap, &rcPaint, &m_rcItem)) return;
  if (!m_bLinesValid) LayoutLines(hDC);
  int saved = ::SaveDC(hDC);
  ::IntersectClipRect(hDC, overlap.left, overlap.top, overlap.right, overlap.bottom);
  PaintBkColor(hDC);
  PaintBkImage(hDC);

  RECT text = TextRect();
  ::SaveDC(hDC);
  ::IntersectClipRect(hDC, text.left, text.top, text.right, text.bottom);
  HGDIOBJ oldFont = ::SelectObject(
      hDC, m_pManager ? m_pManager->GetFont(m_iFont) : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(hDC, TRANSPARENT);
  ::SetTextColor(hDC, ToColorRef(m_dwTextColor));
  int first = m_nScrollPos / m_nLineHeight;
  for (int i = std::max(0, first); i < static_cast<int>(m_lines.size()); ++i) {
    int y = text.top + i * m_nLineHeight - m_nScrollPos;
    if (y >= text.bottom) break;
    const std::string& line = m_lines[static_cast<size_t>(i)];
    if (line.empty()) continue;
    int x = text.left;
    if (m_uTextStyle != DT_LEFT) {
      SIZE extent;
      ::GetTextExtentPoint32A(hDC, line.c_str(), static_cast<int>(line.size()), &extent);
      x = m_uTextStyle == DT_CENTER ? (text.left + text.right - extent.cx) / 2
                                    : text.right - extent.cx;
    }
    ::TextOutA(hDC, x, y, line.c_str(), static_cast<int>(line.size()));
  }
  ::SelectObject(hDC, oldFont);
  ::RestoreDC(hDC, -1);

  if (HasScrollBar()) {
    FillColor(hDC, GetScrollTrackRect(), kTrackColor);
    RECT thumb = GetScrollThumbRect();
    ::InflateRect(&thumb, -GetDpiScale().Scale(2), 0);
    FillColor(hDC, thumb, m_bDraggingThumb ? kThumbActiveColor : kThumbColor);
  }
  ::RestoreDC(hDC, saved);
}

}  // namespace DuiLib
