// Keyboard focus of one framework window: Tab and Shift+Tab move it through
// the tab stops, Enter presses a button the keyboard moved to, and a focus
// cue marks the focused control once the keyboard has been used.
#pragma once

#include <windows.h>

#include <vector>

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;

// The tab stops under |root| in the order Tab visits them: visible, enabled
// controls that accept the focus and are not taken out of the cycle
// (tabstop="false"), inside visible containers only (so only the page a
// tab layout shows). Ordered by tab index, equal indexes in layout order.
std::vector<CControlUI*> CollectTabStops(CControlUI* root);

class CFocusNavigator {
 public:
  explicit CFocusNavigator(CPaintManagerUI* manager);
  CFocusNavigator(const CFocusNavigator&) = delete;
  CFocusNavigator& operator=(const CFocusNavigator&) = delete;

  // Sees the window's key messages before anything else does (also those
  // meant for a native child such as an open edit field). Takes Tab and
  // Shift+Tab, and Enter while the keyboard placed the focus on a button
  // (the button is activated as by a click). Returns true when the key was
  // used: it must then go no further. Activating a button may run a page's
  // handler that does anything, so nothing of this object is used after it.
  bool PreTranslateKey(UINT uMsg, WPARAM wParam, LPARAM lParam);

  // Moves the focus to the next (|forward|) or previous tab stop, wrapping
  // around; without a focus on a tab stop to the first (last) one. Returns
  // the new focus, null when the window has no tab stop (the focus then
  // stays where it was).
  CControlUI* MoveFocus(bool forward);

  // The manager tells every change of its focus, whoever made it.
  void FocusChanged(CControlUI* pOld, CControlUI* pNew);
  // Whether the current focus was placed by Tab or Shift+Tab.
  bool IsFocusFromKeyboard() const { return m_bFocusFromKeyboard; }

  // The cue shows from the first keyboard navigation on (or always, when
  // the system is set to show keyboard cues), as in Windows dialogs.
  bool IsCueShown() const { return m_bCueShown || m_bSystemShowsCues; }
  void ShowCue();
  // ARGB colour of the ring (window attribute "focuscuecolor").
  void SetCueColor(DWORD argb) { m_dwCueColor = argb; }
  // Draws the ring around the focused control, over everything else.
  void PaintCue(HDC hDC);
  // Where the ring of |pControl| goes (client coordinates).
  static RECT CueRect(CControlUI* pControl);

 private:
  void InvalidateCue(CControlUI* pControl);

  CPaintManagerUI* m_pManager;
  bool m_bNavigating = false;
  bool m_bFocusFromKeyboard = false;
  bool m_bCueShown = false;
  bool m_bSystemShowsCues = false;
  DWORD m_dwCueColor;
  RECT m_rcLastCue = {0, 0, 0, 0};
};

}  // namespace DuiLib
