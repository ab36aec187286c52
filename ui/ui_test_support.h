// A skin package, a page window and helpers shared by the framework tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/UIlib.h"

namespace ui_test {

// Colours of the five 10-pixel slots of the test button strip.
constexpr DWORD kNormalColor = 0xFF0000;
constexpr DWORD kHotColor = 0x00FF00;
constexpr DWORD kPushedColor = 0x0000FF;
constexpr DWORD kDisabledColor = 0x808080;
constexpr DWORD kPageColor = 0x102030;
constexpr DWORD kFillColor = 0x00FFFF;
constexpr DWORD kCheckedColor = 0xFFFF00;
constexpr DWORD kUncheckedColor = 0xFF00FF;

// Registers the test skin package (layouts "test.xml", "host.xml",
// "accessible.xml", "broken.xml", "bad_image.xml", fonts and images) with
// the framework.
void UseTestSkin();

// A page window built from one layout of the test skin; records what it
// is told.
class TestWindow : public DuiLib::WindowImplBase {
 public:
  explicit TestWindow(const char* skin = "test.xml") : skin_(skin) {}

  // Creates the window hidden at |x|,|y|; false when creation failed.
  bool CreateAt(int x, int y, HWND owner = nullptr);
  DuiLib::CPaintManagerUI& manager() { return m_PaintManager; }
  template <typename T>
  T* Find(const char* name) {
    return static_cast<T*>(m_PaintManager.FindControl(name));
  }

  DuiLib::CDuiString GetSkinFile() override { return skin_; }
  LPCTSTR GetWindowClassName() const override { return "TNUiTestWindow"; }
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

  bool OnHandler(void* param);

  std::vector<std::string> notes;    // "type:name" seen by the window-wide listener
  std::vector<std::string> handled;  // "type:name" seen by OnHandler
  int closes = 0;
  // Posted to the window: records whether the owner is enabled, then Close(wParam).
  static const UINT kProbeOwner = WM_APP + 10;
  int ownerEnabledDuringLoop = -1;

 private:
  std::string skin_;
};

// Sends a left click (down, up) at client |x|,|y|.
void Click(HWND hwnd, int x, int y);
void MouseMove(HWND hwnd, int x, int y);
// A key press as the message loop hands it on: the window's pre-filters
// first, then the window (or its focused native child). |shift| holds
// Shift down meanwhile; |repeat| marks an auto-repeated key-down.
void PressKey(HWND hwnd, UINT vk, bool shift = false, bool repeat = false);
// Dispatches everything waiting in this thread's queue.
void PumpMessages();
// The window's controls painted off screen, pixel (x, y) as 0xRRGGBB.
class Snapshot {
 public:
  explicit Snapshot(DuiLib::CPaintManagerUI& manager);
  DWORD At(int x, int y) const;
  // How many pixels of |rc| are within |tolerance| of |color| in each
  // channel (text is antialiased).
  int Count(const RECT& rc, DWORD color, int tolerance = 0) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<DWORD> pixels_;
};

}  // namespace ui_test
