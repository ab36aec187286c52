#include "ui/focus_navigator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/UIlib.h"
#include "ui/ui_test_support.h"

namespace {

using namespace DuiLib;
using ui_test::PressKey;
using ui_test::Snapshot;
using ui_test::TestWindow;
using Names = std::vector<std::string>;

constexpr DWORD kCueColor = 0x1C60C4;

class FocusNavigatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::UseTestSkin();
    SetSystemCues(false);
    ASSERT_TRUE(window_.CreateAt(0, 0));
    window_.ShowWindow(true);
    hwnd_ = window_.GetHWND();
    ::SetFocus(hwnd_);
  }

  void TearDown() override { SetSystemCues(false); }

  // The system's "always show keyboard cues" setting, for this session only.
  static void SetSystemCues(bool always) {
    ::SystemParametersInfoA(SPI_SETKEYBOARDCUES, 0,
                            reinterpret_cast<PVOID>(static_cast<INT_PTR>(always)), 0);
  }

  std::string Focused() {
    CControlUI* focus = window_.manager().GetFocus();
    return focus ? focus->GetName().str() : std::string();
  }
  Names Press(int count, UINT vk, bool shift = false) {
    Names seen;
    for (int i = 0; i < count; ++i) {
      PressKey(hwnd_, vk, shift);
      seen.push_back(Focused());
    }
    return seen;
  }
  // Whether the ring's left edge runs through the middle of |control|'s
  // left side.
  bool RingAround(const char* control) {
    RECT cue = CFocusNavigator::CueRect(window_.Find<CControlUI>(control));
    return Snapshot(window_.manager()).At(cue.left + 2, (cue.top + cue.bottom) / 2) == kCueColor;
  }

  TestWindow window_;
  HWND hwnd_ = nullptr;
};

TEST_F(FocusNavigatorTest, TabVisitsTheStopsInLayoutOrderAndWrapsAround) {
  EXPECT_EQ("", Focused());
  // The disabled button, the label and the progress bar take no focus.
  EXPECT_EQ((Names{"btn", "check", "r1", "r2", "edit", "rich", "btn"}), Press(7, VK_TAB));
  EXPECT_EQ((Names{"rich", "edit", "r2"}), Press(3, VK_TAB, true));
}

TEST_F(FocusNavigatorTest, ShiftTabWithoutAFocusStartsAtTheLastStop) {
  EXPECT_EQ((Names{"rich", "edit"}), Press(2, VK_TAB, true));
}

TEST_F(FocusNavigatorTest, HiddenDisabledAndRemovedControlsAreSkippedAndTabIndexOrders) {
  window_.Find<CControlUI>("check")->SetVisible(false);
  window_.Find<CControlUI>("r1")->SetTabStop(false);
  window_.Find<CControlUI>("edit")->SetEnabled(false);
  window_.Find<CControlUI>("rich")->SetTabIndex(1);
  window_.Find<CControlUI>("btn")->SetTabIndex(2);
  EXPECT_EQ((Names{"r2", "rich", "btn", "r2"}), Press(4, VK_TAB));

  // The focused control goes away: the next Tab starts afresh.
  window_.Find<CControlUI>("r2")->SetEnabled(false);
  EXPECT_EQ("", Focused());
  EXPECT_EQ((Names{"rich"}), Press(1, VK_TAB));

  // Another page without stops: Tab finds nothing there, and nothing of
  // the hidden page.
  window_.Find<CTabLayoutUI>("tabs")->SelectItem(1);
  EXPECT_EQ((Names{"", ""}), Press(2, VK_TAB));
}

TEST_F(FocusNavigatorTest, EnterPressesOnlyAButtonTheKeyboardFocused) {
  ui_test::Click(hwnd_, 15, 15);
  ASSERT_EQ("btn", Focused());
  window_.notes.clear();
  PressKey(hwnd_, VK_RETURN);  // focus from the mouse: Enter does nothing
  EXPECT_TRUE(window_.notes.empty());
  EXPECT_TRUE(::IsWindow(hwnd_));

  Press(1, VK_TAB);
  Press(1, VK_TAB, true);
  ASSERT_EQ("btn", Focused());
  PressKey(hwnd_, VK_RETURN);
  PressKey(hwnd_, VK_RETURN, false, true);  // held down: no second click
  EXPECT_EQ((Names{"click:btn"}), window_.notes);

  // Enter is no way to toggle a check box.
  window_.notes.clear();
  Press(1, VK_TAB);
  ASSERT_EQ("check", Focused());
  PressKey(hwnd_, VK_RETURN);
  EXPECT_TRUE(window_.notes.empty());
  EXPECT_TRUE(window_.Find<COptionUI>("check")->IsSelected());
}

TEST_F(FocusNavigatorTest, SpaceGivesTheNotificationsOfAClick) {
  COptionUI* check = window_.Find<COptionUI>("check");
  ui_test::Click(hwnd_, 17, 47);
  const Names byMouse = window_.notes;
  ASSERT_FALSE(check->IsSelected());
  check->Selected(true, false);
  window_.manager().SetFocus(nullptr);

  window_.notes.clear();
  Press(2, VK_TAB);
  ASSERT_EQ("check", Focused());
  PressKey(hwnd_, VK_SPACE);
  PressKey(hwnd_, VK_SPACE, false, true);  // auto-repeat of the same press
  EXPECT_EQ(byMouse, window_.notes);
  EXPECT_FALSE(check->IsSelected());

  // A radio button: Space selects it and clears the other of its group.
  Press(1, VK_TAB);
  PressKey(hwnd_, VK_SPACE);
  EXPECT_TRUE(window_.Find<COptionUI>("r1")->IsSelected());
  EXPECT_FALSE(window_.Find<COptionUI>("r2")->IsSelected());
}

TEST_F(FocusNavigatorTest, TheCueShowsOnlyOnceTheKeyboardWasUsed) {
  ui_test::Click(hwnd_, 15, 15);
  ASSERT_EQ("btn", Focused());
  EXPECT_FALSE(RingAround("btn"));

  Press(1, VK_TAB);
  EXPECT_TRUE(RingAround("check"));
  EXPECT_FALSE(RingAround("btn"));
  Press(1, VK_TAB, true);
  EXPECT_TRUE(RingAround("btn"));
  // Once shown it stays, also for a focus the mouse gives (as in Windows).
  ui_test::Click(hwnd_, 107, 47);
  ASSERT_EQ("r1", Focused());
  EXPECT_TRUE(RingAround("r1"));
  EXPECT_FALSE(RingAround("btn"));
  // No focus, no ring.
  window_.Find<CControlUI>("r1")->SetVisible(false);
  EXPECT_FALSE(RingAround("r1"));
}

TEST_F(FocusNavigatorTest, ASystemSetToShowCuesShowsThemAtOnce) {
  SetSystemCues(true);
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(0, 0));
  window.ShowWindow(true);
  ui_test::Click(window.GetHWND(), 15, 15);
  RECT cue = CFocusNavigator::CueRect(window.Find<CControlUI>("btn"));
  EXPECT_EQ(kCueColor, Snapshot(window.manager()).At(cue.left + 2, (cue.top + cue.bottom) / 2));
}

TEST_F(FocusNavigatorTest, TabReachesAndLeavesTheEditField) {
  auto* edit = window_.Find<CEditUI>("edit");
  Press(5, VK_TAB);
  ASSERT_EQ("edit", Focused());
  ASSERT_NE(nullptr, edit->GetNativeWindow());
  EXPECT_EQ(edit->GetNativeWindow(), ::GetFocus());
  // Typing goes into the field.
  ::SendMessageA(edit->GetNativeWindow(), WM_CHAR, 'x', 1);
  Press(1, VK_TAB);
  EXPECT_EQ("rich", Focused());
  EXPECT_EQ(nullptr, edit->GetNativeWindow());
  EXPECT_EQ(hwnd_, ::GetFocus());
  EXPECT_STREQ("x", edit->GetText());
  Press(1, VK_TAB, true);
  EXPECT_EQ("edit", Focused());
  EXPECT_EQ(edit->GetNativeWindow(), ::GetFocus());
}

TEST_F(FocusNavigatorTest, TheFocusedTextScrollsWithTheKeyboard) {
  auto* rich = window_.Find<CRichEditUI>("rich");
  Press(1, VK_TAB, true);
  ASSERT_EQ("rich", Focused());
  ASSERT_GT(rich->GetScrollRange(), 0);
  PressKey(hwnd_, VK_DOWN);
  const int line = rich->GetScrollPos();
  EXPECT_GT(line, 0);
  PressKey(hwnd_, VK_NEXT);
  EXPECT_GT(rich->GetScrollPos(), line);
  PressKey(hwnd_, VK_END);
  EXPECT_EQ(rich->GetScrollRange(), rich->GetScrollPos());
  PressKey(hwnd_, VK_HOME);
  EXPECT_EQ(0, rich->GetScrollPos());
}

}  // namespace
