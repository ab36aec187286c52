// The base of every skinned page window: builds its controls from the skin
// file on WM_CREATE, draws its own frame, drags by the caption area, and
// gives Escape, Enter and the system close command their default meaning.
#pragma once

#include "ui/dialog_builder.h"
#include "ui/ui_manager.h"
#include "ui/window_wnd.h"

namespace DuiLib {

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase() = default;
  ~WindowImplBase() override;

  // Window-wide listener: handles "click" of the standard frame buttons.
  void Notify(TNotifyUI& msg) override;
  virtual void OnClick(TNotifyUI& msg);
  // Pre-filter: Escape closes the window with result 1; Enter is swallowed.
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  CControlUI* CreateControl(LPCTSTR pstrClass) override;

  CPaintManagerUI& GetPaintManager() { return m_PaintManager; }

 public:
  virtual CDuiString GetSkinFolder() { return CDuiString(); }
  virtual CDuiString GetSkinFile() = 0;
  LPCTSTR GetWindowClassName() const override = 0;
  // Called after the control tree is built and attached.
  virtual void InitWindow() {}

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  // The framework creation step: frameless style, control tree from the
  // skin file, window sized from the layout, notifications and key filter
  // registered. Returns -1 (creation fails) when the skin file cannot be
  // built.
  virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  // WM_CLOSE; unhandled it lets the window be destroyed.
  virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  // The caption area (outside controls that take the mouse) is HTCAPTION.
  virtual LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnGetMinMaxInfo(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  // SC_CLOSE becomes WM_CLOSE.
  virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  // WM_DPICHANGED (the window moved to a monitor of another DPI): draws
  // for the new DPI and takes the suggested rectangle (without one, the
  // layout's size at the new DPI in place). Pages, texts and selections
  // stay as they are.
  virtual LRESULT OnDpiChanged(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  void OnFinalMessage(HWND hWnd) override;

 protected:
  CPaintManagerUI m_PaintManager;
};

}  // namespace DuiLib
