#include <gtest/gtest.h>

#include "ui/UIlib.h"
#include "ui/ui_test_support.h"

namespace {

using namespace DuiLib;
using ui_test::Snapshot;
using ui_test::TestWindow;

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::UseTestSkin();
    ASSERT_TRUE(window_.CreateAt(0, 0));
    window_.ShowWindow(true);
    hwnd_ = window_.GetHWND();
  }
  TestWindow window_;
  HWND hwnd_ = nullptr;
};

TEST_F(ControlsTest, ButtonStatesShowTheirSlotsOfTheStrip) {
  EXPECT_EQ(ui_test::kNormalColor, Snapshot(window_.manager()).At(15, 15));
  EXPECT_EQ(ui_test::kDisabledColor, Snapshot(window_.manager()).At(45, 15));
  EXPECT_EQ(ui_test::kPageColor, Snapshot(window_.manager()).At(35, 15));

  ui_test::MouseMove(hwnd_, 15, 15);
  EXPECT_EQ(ui_test::kHotColor, Snapshot(window_.manager()).At(15, 15));
  window_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 15));
  EXPECT_EQ(ui_test::kPushedColor, Snapshot(window_.manager()).At(15, 15));
  // Dragged off while held: no longer pushed, and releasing there is no click.
  ui_test::MouseMove(hwnd_, 150, 150);
  EXPECT_EQ(ui_test::kNormalColor, Snapshot(window_.manager()).At(15, 15));
  window_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(150, 150));
  EXPECT_TRUE(window_.notes.empty());

  window_.Find<CButtonUI>("btn")->SetEnabled(false);
  EXPECT_EQ(ui_test::kDisabledColor, Snapshot(window_.manager()).At(15, 15));
}

TEST_F(ControlsTest, ClicksReachDelegatesThenTheWindowListener) {
  CButtonUI* button = window_.Find<CButtonUI>("btn");
  button->OnNotify += MakeDelegate(&window_, &TestWindow::OnHandler);
  ui_test::Click(hwnd_, 15, 15);
  ASSERT_EQ(1u, window_.handled.size());
  EXPECT_EQ("click:btn", window_.handled[0]);
  ASSERT_EQ(1u, window_.notes.size());
  EXPECT_EQ("click:btn", window_.notes[0]);

  // Disabled controls and empty places click nothing.
  ui_test::Click(hwnd_, 45, 15);
  ui_test::Click(hwnd_, 150, 90);
  EXPECT_EQ(1u, window_.handled.size());

  // A double click is two clicks.
  window_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 15));
  window_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(15, 15));
  window_.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(15, 15));
  window_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(15, 15));
  EXPECT_EQ(3u, window_.handled.size());

  // Removing the delegate stops it; the window still hears.
  button->OnNotify -= MakeDelegate(&window_, &TestWindow::OnHandler);
  ui_test::Click(hwnd_, 15, 15);
  EXPECT_EQ(3u, window_.handled.size());
  EXPECT_EQ(4u, window_.notes.size());
}

TEST_F(ControlsTest, OptionsToggleAndGroupsKeepOneSelected) {
  COptionUI* check = window_.Find<COptionUI>("check");
  EXPECT_TRUE(check->IsSelected());
  EXPECT_STREQ("我同意", check->GetText());  // the later of two "text" attributes, in GBK
  EXPECT_EQ(ui_test::kCheckedColor, Snapshot(window_.manager()).At(17, 47));

  ui_test::Click(hwnd_, 17, 47);
  EXPECT_FALSE(check->IsSelected());
  EXPECT_EQ(ui_test::kUncheckedColor, Snapshot(window_.manager()).At(17, 47));
  ASSERT_EQ(2u, window_.notes.size());
  EXPECT_EQ("click:check", window_.notes[0]);
  EXPECT_EQ("selectchanged:check", window_.notes[1]);

  check->Selected(true, false);
  EXPECT_TRUE(check->IsSelected());
  EXPECT_EQ(2u, window_.notes.size());
  check->Selected(false);
  EXPECT_EQ(3u, window_.notes.size());

  COptionUI* r1 = window_.Find<COptionUI>("r1");
  COptionUI* r2 = window_.Find<COptionUI>("r2");
  ui_test::Click(hwnd_, 105, 45);
  EXPECT_TRUE(r1->IsSelected());
  EXPECT_FALSE(r2->IsSelected());
  ui_test::Click(hwnd_, 105, 45);  // clicking the selected one keeps it
  EXPECT_TRUE(r1->IsSelected());
}

TEST_F(ControlsTest, TabSelectionShowsOneChild) {
  CTabLayoutUI* tabs = window_.Find<CTabLayoutUI>("tabs");
  EXPECT_EQ(0, tabs->GetCurSel());
  EXPECT_EQ(2, tabs->GetCount());
  EXPECT_TRUE(window_.Find<CControlUI>("btn")->IsVisible());
  EXPECT_FALSE(window_.Find<CControlUI>("page1")->IsVisible());

  EXPECT_TRUE(tabs->SelectItem(1));
  EXPECT_EQ(1, tabs->GetCurSel());
  EXPECT_FALSE(window_.Find<CControlUI>("btn")->IsVisible());
  EXPECT_TRUE(window_.Find<CControlUI>("page1")->IsVisible());
  EXPECT_EQ(0x000000u, Snapshot(window_.manager()).At(15, 15));
  ASSERT_EQ(1u, window_.notes.size());
  EXPECT_EQ("tabselect:tabs", window_.notes[0]);
  ui_test::Click(hwnd_, 15, 15);  // the hidden button is not clicked
  EXPECT_EQ(1u, window_.notes.size());

  EXPECT_FALSE(tabs->SelectItem(2));
  EXPECT_FALSE(tabs->SelectItem(-1));
  EXPECT_EQ(1, tabs->GetCurSel());
  EXPECT_TRUE(tabs->SelectItem(0, false));
  EXPECT_EQ(1u, window_.notes.size());
  EXPECT_EQ(ui_test::kNormalColor, Snapshot(window_.manager()).At(15, 15));
}

TEST_F(ControlsTest, ProgressKeepsItsValueInRangeAndFillsThatPart) {
  CProgressUI* progress = window_.Find<CProgressUI>("progress");
  EXPECT_EQ(0, progress->GetValue());
  EXPECT_EQ(ui_test::kPageColor, Snapshot(window_.manager()).At(12, 165));
  progress->SetValue(150);
  EXPECT_EQ(100, progress->GetValue());
  progress->SetValue(-3);
  EXPECT_EQ(0, progress->GetValue());
  progress->SetValue(50);
  Snapshot half(window_.manager());
  EXPECT_EQ(ui_test::kFillColor, half.At(12, 165));
  EXPECT_EQ(ui_test::kFillColor, half.At(59, 165));
  EXPECT_EQ(ui_test::kPageColor, half.At(61, 165));
  progress->SetMaxValue(40);
  EXPECT_EQ(40, progress->GetValue());
}

TEST_F(ControlsTest, ColoursAndImageDescriptionsParse) {
  DWORD color = 0;
  EXPECT_TRUE(ParseColor("#FF2687FB", &color));
  EXPECT_EQ(0xFF2687FBu, color);
  EXPECT_TRUE(ParseColor("#00747474", &color));
  EXPECT_EQ(0x00747474u, color);
  EXPECT_TRUE(ParseColor("#102030", &color));
  EXPECT_EQ(0xFF102030u, color);
  for (const char* bad : {"", "#", "#12345", "#GG000000", "#FF00000000", "red"}) {
    EXPECT_FALSE(ParseColor(bad, &color)) << bad;
  }
  // Alpha 0 in a text colour is drawn anyway (the hint of the path field).
  CEditUI* edit = window_.Find<CEditUI>("edit");
  RECT rc = edit->GetPos();
  EXPECT_GT(Snapshot(window_.manager()).Count(rc, 0x747474, 0x28), 0);
  // Alpha 0 in a fill colour is not painted.
  CControlUI* page = window_.Find<CControlUI>("page0");
  page->SetBkColor(0x00FFFFFF);
  EXPECT_EQ(0xFFFFFFu, Snapshot(window_.manager()).At(150, 90));  // the window's white ground
}

TEST_F(ControlsTest, AlignmentAndFlagAttributesParse) {
  struct Case {
    const char* attribute;
    const char* value;
    UINT expected;  // the label's text style afterwards, from DT_LEFT | DT_VCENTER
  } cases[] = {
      {"align", "center", DT_CENTER | DT_VCENTER}, {"align", "right", DT_RIGHT | DT_VCENTER},
      {"align", "left", DT_LEFT | DT_VCENTER},     {"align", "middle", DT_LEFT | DT_VCENTER},
      {"valign", "top", DT_LEFT | DT_TOP},         {"valign", "bottom", DT_LEFT | DT_BOTTOM},
      {"valign", "center", DT_LEFT | DT_VCENTER},
  };
  for (const Case& c : cases) {
    CLabelUI label;
    label.SetAttribute(c.attribute, c.value);
    EXPECT_EQ(c.expected, label.GetTextStyle()) << c.attribute << "=" << c.value;
  }
  // One direction leaves the other as it was.
  CLabelUI label;
  label.SetAttribute("valign", "bottom");
  label.SetAttribute("align", "right");
  EXPECT_EQ(static_cast<UINT>(DT_RIGHT | DT_BOTTOM), label.GetTextStyle());

  EXPECT_TRUE(ParseBool("true"));
  for (const char* no : {"false", "TRUE", "1", "", "truely"}) EXPECT_FALSE(ParseBool(no)) << no;
  EXPECT_FALSE(ParseBool(nullptr));
  CEditUI edit;
  edit.SetAttribute("readonly", "true");
  edit.SetAttribute("password", "yes");
  EXPECT_TRUE(edit.IsReadOnly());
  EXPECT_FALSE(edit.IsPasswordMode());
}

TEST_F(ControlsTest, TheHoverLookFollowsThePointerOnlyWhileEnabled) {
  CButtonUI button;
  button.SetPos(RECT{0, 0, 20, 10});
  auto send = [&button](int type) {
    TEventUI event;
    event.Type = type;
    event.ptMouse = POINT{5, 5};
    button.DoEvent(event);
  };
  send(UIEVENT_MOUSEENTER);
  EXPECT_EQ(static_cast<UINT>(UISTATE_HOT), button.GetButtonState());
  send(UIEVENT_BUTTONDOWN);
  EXPECT_EQ(static_cast<UINT>(UISTATE_HOT | UISTATE_PUSHED | UISTATE_CAPTURED),
            button.GetButtonState());
  // Leaving lets go of the press too.
  send(UIEVENT_MOUSELEAVE);
  EXPECT_EQ(0u, button.GetButtonState());
  button.SetEnabled(false);
  send(UIEVENT_MOUSEENTER);
  EXPECT_EQ(0u, button.GetButtonState());
}

TEST_F(ControlsTest, EditTakesTypedTextAndShowsTheHintOnlyWhileEmpty) {
  CEditUI* edit = window_.Find<CEditUI>("edit");
  RECT rc = edit->GetPos();
  EXPECT_STREQ("", edit->GetText());
  ui_test::Click(hwnd_, 50, 130);
  HWND native = edit->GetNativeWindow();
  ASSERT_NE(nullptr, native);
  EXPECT_EQ(native, ::GetFocus());
  for (char c : std::string("D:\\Tools"))
    ::SendMessageA(native, WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_STREQ("D:\\Tools", edit->GetText());
  ASSERT_GE(window_.notes.size(), 1u);
  EXPECT_EQ("textchanged:edit", window_.notes.back());

  // Clicking elsewhere closes the native field and keeps the text.
  ui_test::Click(hwnd_, 150, 90);
  ui_test::PumpMessages();
  EXPECT_EQ(nullptr, edit->GetNativeWindow());
  EXPECT_STREQ("D:\\Tools", edit->GetText());
  EXPECT_EQ(0, Snapshot(window_.manager()).Count(rc, 0x747474, 0x28));

  edit->SetText("");
  EXPECT_GT(Snapshot(window_.manager()).Count(rc, 0x747474, 0x28), 0);

  edit->SetMaxChar(5);
  edit->SetText("中文字");  // never half a double-byte character
  EXPECT_STREQ("中文", edit->GetText());
}

TEST_F(ControlsTest, RichEditScrollsByWheelTrackAndThumb) {
  CRichEditUI* rich = window_.Find<CRichEditUI>("rich");
  ASSERT_TRUE(rich->HasScrollBar());
  EXPECT_GT(rich->GetLineCount(), 60);  // wrapped at 70 pixels
  int range = rich->GetScrollRange();
  ASSERT_GT(range, 0);
  EXPECT_EQ(0, rich->GetScrollPos());

  POINT screen = {250, 50};
  ::ClientToScreen(hwnd_, &screen);
  window_.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)),
                      MAKELPARAM(screen.x, screen.y));
  int afterWheel = rich->GetScrollPos();
  EXPECT_GT(afterWheel, 0);
  window_.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(0, rich->GetScrollPos());
  window_.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(0, rich->GetScrollPos());

  RECT thumb = rich->GetScrollThumbRect();
  int x = (thumb.left + thumb.right) / 2, y = (thumb.top + thumb.bottom) / 2;
  window_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  window_.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y + 20));
  int dragged = rich->GetScrollPos();
  EXPECT_GT(dragged, 0);
  window_.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y + 500));
  EXPECT_EQ(range, rich->GetScrollPos());  // clamped at the end
  window_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y + 500));
  thumb = rich->GetScrollThumbRect();
  EXPECT_LE(thumb.bottom, rich->GetPos().bottom);

  // A click on the track above the thumb goes up a page.
  window_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, rich->GetPos().top + 2));
  window_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, rich->GetPos().top + 2));
  EXPECT_LT(rich->GetScrollPos(), range);
}

TEST_F(ControlsTest, ATreeMovedIntoAnotherWindowKeepsItsHandlers) {
  TestWindow host("host.xml");
  ASSERT_TRUE(host.CreateAt(0, 0));
  host.ShowWindow(true);
  window_.ShowWindow(false);
  CButtonUI* button = window_.Find<CButtonUI>("btn");
  button->OnNotify += MakeDelegate(&window_, &TestWindow::OnHandler);

  CControlUI* pageRoot = window_.manager().GetRoot();
  auto* container = static_cast<CContainerUI*>(host.manager().FindControl("Container_x"));
  ASSERT_TRUE(container->Add(pageRoot));
  EXPECT_EQ(1, container->GetCount());
  static_cast<CTabLayoutUI*>(host.manager().FindControl("tab_control"))->SelectItem(1);

  EXPECT_EQ(&host.manager(), button->GetManager());
  EXPECT_EQ(button, host.manager().FindControl("btn"));
  EXPECT_EQ(button, window_.manager().FindControl("btn"));  // the page still finds its own
  EXPECT_EQ(ui_test::kPageColor, Snapshot(host.manager()).At(150, 90));
  EXPECT_EQ(ui_test::kNormalColor, Snapshot(host.manager()).At(15, 15));

  ui_test::Click(host.GetHWND(), 15, 15);
  ASSERT_EQ(1u, window_.handled.size());
  EXPECT_EQ("click:btn", window_.handled[0]);
  ASSERT_EQ(1u, host.notes.size() - 1);  // after the tabselect
  EXPECT_EQ("click:btn", host.notes.back());
  EXPECT_TRUE(window_.notes.empty());
}

TEST_F(ControlsTest, DestroyingEitherWindowOfAMovedTreeIsSafe) {
  for (int hostFirst = 0; hostFirst < 2; ++hostFirst) {
    auto* page = new TestWindow;
    auto* host = new TestWindow("host.xml");
    ASSERT_TRUE(page->CreateAt(0, 0));
    ASSERT_TRUE(host->CreateAt(0, 0));
    static_cast<CContainerUI*>(host->manager().FindControl("Container_x"))
        ->Add(page->manager().GetRoot());
    if (hostFirst) {
      delete host;
      EXPECT_EQ(nullptr, page->manager().GetRoot());
      EXPECT_EQ(nullptr, page->manager().FindControl("btn"));
      delete page;
    } else {
      delete page;
      EXPECT_NE(nullptr, host->manager().FindControl("btn"));
      ui_test::Click(host->GetHWND(), 15, 15);
      delete host;
    }
  }
}

TEST_F(ControlsTest, AHandlerMayDeleteItsOwnControl) {
  struct Remover {
    CContainerUI* parent;
    bool Remove(void* param) {
      parent->Remove(static_cast<TNotifyUI*>(param)->pSender);
      return true;
    }
  } remover{window_.Find<CContainerUI>("page0")};
  window_.Find<COptionUI>("check")->OnNotify += MakeDelegate(&remover, &Remover::Remove);
  ui_test::Click(hwnd_, 17, 47);
  EXPECT_EQ(nullptr, window_.Find<CControlUI>("check"));
  ASSERT_EQ(1u, window_.notes.size());
  EXPECT_EQ("click:(deleted)", window_.notes[0]);
  ui_test::MouseMove(hwnd_, 17, 47);
  ui_test::Click(hwnd_, 17, 47);
}

}  // namespace
