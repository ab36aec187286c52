#include "ui/focus_navigator.h"

#include <algorithm>

#include "ui/ui_button.h"
#include "ui/ui_container.h"
#include "ui/ui_control.h"
#include "ui/ui_manager.h"
#include "util/scoped_gdi.h"

namespace DuiLib {

namespace {

// A deep blue ring with a thin white halo stays visible on the white lower
// part of the pages and on their blue title area alike.
constexpr DWORD kDefaultCueColor = 0xFF1C60C4;
constexpr DWORD kHaloColor = 0xFFFFFFFF;
constexpr int kRingWidth = 2;
// Gap between the control and the ring, so the ring never covers the
// control's own picture.
constexpr int kRingGap = 1;
constexpr int kCornerDiameter = 8;
constexpr LPARAM kRepeatBit = 1 << 30;

void CollectStops(CControlUI* control, std::vector<CControlUI*>& stops) {
  if (!control || !control->IsVisible()) return;
  if (control->IsTabStop() && control->IsEnabled()) stops.push_back(control);
  if (auto* container = static_cast<IContainerUI*>(control->GetInterface("IContainer"))) {
    for (int i = 0; i < container->GetCount(); ++i) CollectStops(container->GetItemAt(i), stops);
  }
}

// A rounded frame of |width| pixels just inside |rc|.
void RoundFrame(HDC hDC, const RECT& rc, int width, int cornerDiameter, DWORD argb) {
  tn::ScopedPen pen(::CreatePen(PS_INSIDEFRAME, width, ToColorRef(argb)));
  if (!pen) return;
  tn::ScopedSelectObject selectPen(hDC, pen.Get());
  tn::ScopedSelectObject selectBrush(hDC, ::GetStockObject(NULL_BRUSH));
  ::RoundRect(hDC, rc.left, rc.top, rc.right, rc.bottom, cornerDiameter, cornerDiameter);
}

}  // namespace

std::vector<CControlUI*> CollectTabStops(CControlUI* root) {
  std::vector<CControlUI*> stops;
  CollectStops(root, stops);
  std::stable_sort(stops.begin(), stops.end(), [](CControlUI* a, CControlUI* b) {
    return a->GetTabIndex() < b->GetTabIndex();
  });
  return stops;
}

CFocusNavigator::CFocusNavigator(CPaintManagerUI* manager)
    : m_pManager(manager), m_dwCueColor(kDefaultCueColor) {
  BOOL always = FALSE;
  if (::SystemParametersInfoA(SPI_GETKEYBOARDCUES, 0, &always, 0))
    m_bSystemShowsCues = always != FALSE;
}

bool CFocusNavigator::PreTranslateKey(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg != WM_KEYDOWN) return false;
  // Ctrl+Tab and Alt+Tab belong to others.
  if (::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_MENU) < 0) return false;
  if (wParam == VK_TAB) {
    ShowCue();
    MoveFocus(::GetKeyState(VK_SHIFT) >= 0);
    return true;
  }
  if (wParam == VK_RETURN) {
    // A held key repeats; one press is one activation (the window's own
    // filter swallows the repeats).
    if (lParam & kRepeatBit) return false;
    CControlUI* focus = m_pManager->GetFocus();
    if (!m_bFocusFromKeyboard || !focus || focus->GetInterface("Option")) return false;
    auto* button = static_cast<CButtonUI*>(focus->GetInterface("Button"));
    if (!button) return false;
    button->Activate();
    return true;
  }
  return false;
}

CControlUI* CFocusNavigator::MoveFocus(bool forward) {
  CControlUI* root = m_pManager->GetRoot();
  if (!root || root->GetManager() != m_pManager) return nullptr;
  std::vector<CControlUI*> stops = CollectTabStops(root);
  if (stops.empty()) return nullptr;
  const int count = static_cast<int>(stops.size());
  auto it = std::find(stops.begin(), stops.end(), m_pManager->GetFocus());
  int next;
  if (it == stops.end()) {
    next = forward ? 0 : count - 1;
  } else {
    next = static_cast<int>(it - stops.begin()) + (forward ? 1 : count - 1);
    next %= count;
  }
  // An open edit field holds the system focus; it goes back to the window
  // first, or the field's closing would leave no window with the focus.
  if (HWND hwnd = m_pManager->GetPaintWindow()) {
    if (::GetFocus() != hwnd) ::SetFocus(hwnd);
  }
  m_bNavigating = true;
  m_pManager->SetFocus(stops[static_cast<size_t>(next)]);
  m_bNavigating = false;
  return m_pManager->GetFocus();
}

void CFocusNavigator::FocusChanged(CControlUI* pOld, CControlUI* pNew) {
  m_bFocusFromKeyboard = m_bNavigating && pNew;
  if (!IsCueShown()) return;
  InvalidateCue(pOld);
  InvalidateCue(pNew);
}

void CFocusNavigator::ShowCue() {
  if (m_bCueShown) return;
  m_bCueShown = true;
  InvalidateCue(m_pManager->GetFocus());
}

RECT CFocusNavigator::CueRect(CControlUI* pControl) {
  // A button that is only a text (a link) gets its ring close around the
  // text: such links sit in a line of other text.
  auto* button = static_cast<CButtonUI*>(pControl->GetInterface("Button"));
  if (button && !pControl->GetInterface("Option") && button->GetNormalImage().IsEmpty() &&
      pControl->GetBkImage().IsEmpty()) {
    RECT text = button->GetTextRect();
    if (text.right > text.left && text.bottom > text.top) {
      ::InflateRect(&text, kRingWidth + 1, kRingWidth + 1);
      return text;
    }
  }
  RECT rc = pControl->GetPos();
  // A check box's caption lies beside its box; the ring takes both in.
  RECT painted = pControl->GetPaintBounds();
  if (painted.right > painted.left && painted.bottom > painted.top) ::UnionRect(&rc, &rc, &painted);
  // Ring and halo outside the gap.
  // The ring's lengths are 96-DPI pixels like the skin's.
  int margin = kRingGap + kRingWidth + 1;
  if (CPaintManagerUI* manager = pControl->GetManager())
    margin = manager->GetDpiScale().Scale(margin);
  ::InflateRect(&rc, margin, margin);
  return rc;
}

void CFocusNavigator::InvalidateCue(CControlUI* pControl) {
  if (m_rcLastCue.right > m_rcLastCue.left) m_pManager->Invalidate(m_rcLastCue);
  if (pControl && pControl->GetManager() == m_pManager) m_pManager->Invalidate(CueRect(pControl));
}

void CFocusNavigator::PaintCue(HDC hDC) {
  m_rcLastCue = RECT{0, 0, 0, 0};
  if (!IsCueShown()) return;
  CControlUI* focus = m_pManager->GetFocus();
  if (!focus || !focus->IsVisible() || focus->GetManager() != m_pManager) return;
  RECT outer = CueRect(focus);
  // A control at the window's edge keeps a whole ring, inside the window.
  RECT client;
  if (::GetClientRect(m_pManager->GetPaintWindow(), &client) && client.right > 0) {
    outer.left = std::max(outer.left, client.left);
    outer.top = std::max(outer.top, client.top);
    outer.right = std::min(outer.right, client.right);
    outer.bottom = std::min(outer.bottom, client.bottom);
  }
  m_rcLastCue = outer;
  const CDpiScale& scale = m_pManager->GetDpiScale();
  const int halo = scale.Scale(1), corner = scale.Scale(kCornerDiameter);
  RoundFrame(hDC, outer, halo, corner, kHaloColor);
  ::InflateRect(&outer, -halo, -halo);
  RoundFrame(hDC, outer, scale.Scale(kRingWidth), corner, m_dwCueColor);
}

}  // namespace DuiLib
