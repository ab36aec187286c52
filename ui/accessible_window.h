// What a screen reader sees of a framework window: the window's client
// object (MSAA IAccessible, handed out for WM_GETOBJECT) whose children are
// the controls of the page the window shows, and the WinEvents that tell a
// reader when one of them changes.
//
// Children are "simple elements" of the client object: child id N is the
// N-th control of the page in layout order (see CollectPageControls). The
// ids of a page stay the same while it is shown; a page switch raises
// EVENT_OBJECT_REORDER on the client, after which the ids describe the new
// page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/ui_string.h"
#include "util/scoped_handle.h"

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;
class CAccessibleObject;

// The controls of the page |manager| shows, in layout order: the controls
// that are not containers (and the scrollable text), under the window's
// root, whose containers are all visible. A control hidden by itself (the
// agreement text while it is closed) stays in the list and reports
// STATE_SYSTEM_INVISIBLE, so the ids of the others do not move when it is
// shown. Controls without anything to tell (no text, name or image) are
// left out.
std::vector<CControlUI*> CollectPageControls(CPaintManagerUI* manager);

// The MSAA description of one control (texts in the installer's code page).
struct TAccessibleInfo {
  CDuiString sName;
  CDuiString sValue;
  CDuiString sDescription;
  CDuiString sDefaultAction;
  long lRole = 0;
  long lState = 0;
};
// Fills |info| for |control| as it appears in |manager|'s window.
void DescribeControl(CPaintManagerUI* manager, CControlUI* control, TAccessibleInfo* info);

// Raises |event| (EVENT_OBJECT_*) for |control| when its window is visible
// and the control is one of the page's (CollectPageControls); otherwise
// nothing happens.
void NotifyAccessibleEvent(CControlUI* control, DWORD event);
// Raises |event| for the client object of |manager|'s window itself.
void NotifyAccessibleClientEvent(CPaintManagerUI* manager, DWORD event);

// Answers WM_GETOBJECT of the native field that stands in for |control|
// while it is being edited: the system's own object for that window, but
// named as the control is (a bare edit window would have no name, and it is
// what a reader meets when the keyboard reaches the field). True and
// |lRes| set when answered.
bool AnswerNativeGetObject(CControlUI* control, HWND hwnd, WPARAM wParam, LPARAM lParam,
                           LRESULT& lRes);

// The accessible side of one window, owned by its paint manager.
class CAccessibleWindow {
 public:
  explicit CAccessibleWindow(CPaintManagerUI* manager);
  ~CAccessibleWindow();
  CAccessibleWindow(const CAccessibleWindow&) = delete;
  CAccessibleWindow& operator=(const CAccessibleWindow&) = delete;

  // Answers WM_GETOBJECT for the client object and carries out the default
  // actions asked for through the object (they run from the window's own
  // message queue, as a click would, not inside the reader's call). True
  // and |lRes| set when the message was one of these.
  bool HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  // Cuts the object handed out from this window: readers still holding
  // it get CO_E_OBJNOTCONNECTED from then on. Called when the window goes.
  void Disconnect();

 private:
  CPaintManagerUI* m_pManager;
  // The client object handed out to readers; they may hold it longer.
  tn::ComPtr<CAccessibleObject> m_pObject;
};

}  // namespace DuiLib
