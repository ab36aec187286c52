#include "ui/window_impl_base.h"

#include <gtest/gtest.h>

#include "ui/ui_test_support.h"

namespace {

using namespace DuiLib;
using ui_test::TestWindow;

class WindowImplBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { ui_test::UseTestSkin(); }
};

TEST_F(WindowImplBaseTest, CreationBuildsTheLayoutFramelessAndSized) {
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(10, 10));
  LONG style = ::GetWindowLongA(window.GetHWND(), GWL_STYLE);
  EXPECT_EQ(0, style & WS_CAPTION);
  EXPECT_NE(0, style & WS_CLIPCHILDREN);
  EXPECT_NE(0, style & WS_CLIPSIBLINGS);
  RECT rc;
  ::GetWindowRect(window.GetHWND(), &rc);
  EXPECT_EQ(300, rc.right - rc.left);
  EXPECT_EQ(200, rc.bottom - rc.top);
  ::GetClientRect(window.GetHWND(), &rc);
  EXPECT_EQ(300, rc.right);  // the skin draws the frame: all of it is client area

  EXPECT_NE(nullptr, window.Find<CButtonUI>("btn"));
  EXPECT_NE(nullptr, window.Find<CTabLayoutUI>("tabs"));
  EXPECT_EQ(nullptr, window.Find<CControlUI>("no_such_control"));
  EXPECT_EQ(nullptr, window.Find<CControlUI>(""));
  EXPECT_EQ(nullptr, window.Find<CControlUI>(nullptr));
  EXPECT_STREQ("ButtonUI", window.Find<CControlUI>("btn")->GetClass());
  EXPECT_EQ(window.manager().GetRoot(), window.Find<CControlUI>("tabs"));
}

TEST_F(WindowImplBaseTest, ABrokenLayoutFailsTheCreation) {
  for (const char* skin : {"broken.xml", "missing.xml"}) {
    TestWindow window(skin);
    EXPECT_FALSE(window.CreateAt(0, 0)) << skin;
    EXPECT_EQ(nullptr, window.GetHWND()) << skin;
  }
}

TEST_F(WindowImplBaseTest, ModalLoopReturnsTheResultOfClose) {
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(0, 0));
  window.Close(5);
  EXPECT_EQ(5u, window.ShowModal());
  EXPECT_EQ(1, window.closes);
  EXPECT_FALSE(::IsWindow(window.GetHWND()));
  window.Close(6);  // no window any more: nothing happens
}

TEST_F(WindowImplBaseTest, EscapeClosesWithOneAndEnterDoesNothing) {
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(0, 0));
  HWND hwnd = window.GetHWND();
  ::PostMessageA(hwnd, WM_KEYDOWN, VK_RETURN, 0);
  ::PostMessageA(hwnd, TestWindow::kProbeOwner, 7, 0);
  EXPECT_EQ(7u, window.ShowModal());  // Enter did not close it

  TestWindow second;
  ASSERT_TRUE(second.CreateAt(0, 0));
  ::PostMessageA(second.GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(1u, second.ShowModal());
  EXPECT_EQ(1, second.closes);
}

TEST_F(WindowImplBaseTest, ModalLoopDisablesTheOwnerAndPassesQuitOn) {
  TestWindow owner;
  ASSERT_TRUE(owner.CreateAt(0, 0));
  owner.ShowWindow(true);
  TestWindow dialog;
  ASSERT_TRUE(dialog.CreateAt(20, 20, owner.GetHWND()));
  ::PostMessageA(dialog.GetHWND(), TestWindow::kProbeOwner, 3, 0);
  EXPECT_EQ(3u, dialog.ShowModal());
  EXPECT_EQ(0, dialog.ownerEnabledDuringLoop);
  EXPECT_TRUE(::IsWindowEnabled(owner.GetHWND()));

  TestWindow quitting;
  ASSERT_TRUE(quitting.CreateAt(0, 0));
  ::PostQuitMessage(9);
  EXPECT_EQ(0u, quitting.ShowModal());
  MSG msg;
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(9u, msg.wParam);
}

TEST_F(WindowImplBaseTest, SystemCloseBecomesWmClose) {
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(0, 0));
  window.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(1, window.closes);
  EXPECT_FALSE(::IsWindow(window.GetHWND()));
}

// A message filter that answers |answer| with 42 and, when it sees it,
// takes |victim| out of the window's filters of the same kind.
class RecordingFilter : public IMessageFilterUI {
 public:
  RecordingFilter(CPaintManagerUI* manager, bool pre) : manager_(manager), pre_(pre) {}
  LRESULT MessageHandler(UINT uMsg, WPARAM, LPARAM, bool& bHandled) override {
    if (uMsg < WM_APP) return 0;
    ++calls;
    if (victim && pre_) manager_->RemovePreMessageFilter(victim);
    if (victim && !pre_) manager_->RemoveMessageFilter(victim);
    bHandled = uMsg == answer;
    return 42;
  }
  UINT answer = 0;
  IMessageFilterUI* victim = nullptr;
  int calls = 0;

 private:
  CPaintManagerUI* manager_;
  bool pre_;
};

TEST_F(WindowImplBaseTest, FiltersAnswerInTurnAndOneRemovedMeanwhileIsNotAsked) {
  for (bool pre : {false, true}) {
    TestWindow window;
    ASSERT_TRUE(window.CreateAt(0, 0));
    CPaintManagerUI& manager = window.manager();
    RecordingFilter first(&manager, pre), second(&manager, pre), third(&manager, pre);
    for (RecordingFilter* filter : {&first, &second, &third}) {
      if (pre)
        manager.AddPreMessageFilter(filter);
      else
        manager.AddMessageFilter(filter);
    }
    second.answer = WM_APP + 1;
    LRESULT result = 0;
    auto run = [&](UINT message) {
      return pre ? manager.PreMessageHandler(message, 0, 0, result)
                 : manager.MessageHandler(message, 0, 0, result);
    };
    // The second answers: the third is not asked.
    EXPECT_TRUE(run(WM_APP + 1)) << "pre=" << pre;
    EXPECT_EQ(42, result) << "pre=" << pre;
    EXPECT_EQ(1, first.calls);
    EXPECT_EQ(0, third.calls);
    // The first takes the second out while the message goes round.
    first.victim = &second;
    EXPECT_FALSE(run(WM_APP + 2)) << "pre=" << pre;
    EXPECT_EQ(1, second.calls) << "pre=" << pre;
    EXPECT_EQ(1, third.calls) << "pre=" << pre;
    for (RecordingFilter* filter : {&first, &third}) {
      if (pre)
        manager.RemovePreMessageFilter(filter);
      else
        manager.RemoveMessageFilter(filter);
    }
  }
}

TEST_F(WindowImplBaseTest, CentresInsideTheWorkArea) {
  RECT work;
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(0, 0));
  window.CenterWindow();
  RECT rc;
  ::GetWindowRect(window.GetHWND(), &rc);
  EXPECT_NEAR((work.left + work.right) / 2, (rc.left + rc.right) / 2, 1);
  EXPECT_NEAR((work.top + work.bottom) / 2, (rc.top + rc.bottom) / 2, 1);
  EXPECT_EQ(300, rc.right - rc.left);

  // On an owner near the corner: centred on it as far as the work area allows.
  TestWindow owner;
  ASSERT_TRUE(owner.CreateAt(work.left + 400, work.top + 300));
  owner.ShowWindow(true);
  TestWindow dialog;
  ASSERT_TRUE(dialog.CreateAt(0, 0, owner.GetHWND()));
  ::SetWindowPos(dialog.GetHWND(), nullptr, 0, 0, 100, 50, SWP_NOMOVE | SWP_NOZORDER);
  dialog.CenterWindow();
  ::GetWindowRect(dialog.GetHWND(), &rc);
  EXPECT_EQ(work.left + 400 + 150 - 50, rc.left);
  EXPECT_EQ(work.top + 300 + 100 - 25, rc.top);

  ::SetWindowPos(owner.GetHWND(), nullptr, work.left - 250, work.top - 150, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  dialog.CenterWindow();
  ::GetWindowRect(dialog.GetHWND(), &rc);
  EXPECT_EQ(work.left, rc.left);
  EXPECT_EQ(work.top, rc.top);
}

TEST_F(WindowImplBaseTest, CaptionAreaDragsExceptOverControlsThatTakeTheMouse) {
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(50, 60));
  auto hit = [&](int x, int y) {
    return window.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(50 + x, 60 + y));
  };
  EXPECT_EQ(HTCAPTION, hit(150, 50));  // empty caption area
  EXPECT_EQ(HTCAPTION, hit(5, 5));
  EXPECT_EQ(HTCLIENT, hit(15, 15));    // the button
  EXPECT_EQ(HTCLIENT, hit(45, 15));    // a disabled button still is no title bar
  EXPECT_EQ(HTCLIENT, hit(250, 50));   // the rich edit
  EXPECT_EQ(HTCLIENT, hit(150, 150));  // below the caption
  EXPECT_EQ(HTCLIENT, hit(12, 45));    // an option
}

}  // namespace
