#include "ui/accessible_window.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/UIlib.h"
#include "ui/ui_test_support.h"
#include "util/scoped_handle.h"

namespace {

using namespace DuiLib;
using ui_test::PressKey;
using ui_test::TestWindow;

VARIANT Child(long id) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// A text property of a child; "(none)" when the object has none.
std::wstring Text(IAccessible* acc, long id,
                  HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, BSTR*)) {
  tn::ScopedBstr text;
  HRESULT hr = (acc->*getter)(Child(id), text.Receive());
  if (hr != S_OK || !text) return L"(none)";
  return std::wstring(text.Get(), ::SysStringLen(text.Get()));
}

long Long(IAccessible* acc, long id,
          HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, VARIANT*)) {
  VARIANT out;
  ::VariantInit(&out);
  if ((acc->*getter)(Child(id), &out) != S_OK || out.vt != VT_I4) return -1;
  return out.lVal;
}

struct WinEvent {
  DWORD event;
  LONG child;
};
std::vector<WinEvent>* g_events = nullptr;
HWND g_window = nullptr;

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                          DWORD) {
  if (g_events && hwnd == g_window && object == OBJID_CLIENT) g_events->push_back({event, child});
}

class AccessibleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::UseTestSkin();
    window_.reset(new TestWindow("accessible.xml"));
    ASSERT_TRUE(window_->CreateAt(40, 40));
    window_->ShowWindow(true);
    hwnd_ = window_->GetHWND();
    ::SetFocus(hwnd_);
    ui_test::PumpMessages();
    ASSERT_HRESULT_SUCCEEDED(::AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT),
                                                          IID_IAccessible, acc_.ReceiveVoid()));
  }
  void TearDown() override {
    if (hook_) ::UnhookWinEvent(hook_);
    g_events = nullptr;
  }

  void WatchEvents() {
    g_events = &events_;
    g_window = hwnd_;
    hook_ = ::SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, RecordEvent, ::GetCurrentProcessId(),
                              0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(nullptr, hook_);
  }
  bool Saw(DWORD event, LONG child) {
    ui_test::PumpMessages();
    for (const WinEvent& e : events_) {
      if (e.event == event && e.child == child) return true;
    }
    return false;
  }
  template <typename T>
  T* Find(const char* name) {
    return window_->Find<T>(name);
  }

  tn::ScopedComInit com_;
  std::unique_ptr<TestWindow> window_;
  HWND hwnd_ = nullptr;
  tn::ComPtr<IAccessible> acc_;
  HWINEVENTHOOK hook_ = nullptr;
  std::vector<WinEvent> events_;
};

TEST_F(AccessibleWindowTest, ThePageControlsAreTheChildrenWithNamesRolesAndStates) {
  long count = 0;
  ASSERT_EQ(S_OK, acc_->get_accChildCount(&count));
  struct Expected {
    long id;
    const wchar_t* name;
    long role;
    long stateOn;
    long stateOff;
  };
  const Expected expected[] = {
      {1, L"关闭", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE,
       STATE_SYSTEM_UNAVAILABLE},  // image only: tooltip
      {2, L"位置:", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY, STATE_SYSTEM_FOCUSABLE},
      {3, L"(none)", ROLE_SYSTEM_STATICTEXT, 0, STATE_SYSTEM_INVISIBLE},  // empty message line
      {4, L"位置", ROLE_SYSTEM_TEXT, STATE_SYSTEM_FOCUSABLE,
       STATE_SYSTEM_READONLY},  // named by its label
      {5, L"同意", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE, 0},
      {6, L"A", ROLE_SYSTEM_RADIOBUTTON, STATE_SYSTEM_FOCUSABLE, STATE_SYSTEM_CHECKED},
      {7, L"安装", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE, STATE_SYSTEM_FOCUSED},
      {8, L"x", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_UNAVAILABLE, STATE_SYSTEM_FOCUSABLE},
      {9, L"协议", ROLE_SYSTEM_TEXT, STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_READONLY,
       STATE_SYSTEM_FOCUSABLE},
      {10, L"进度", ROLE_SYSTEM_PROGRESSBAR, 0, STATE_SYSTEM_FOCUSABLE},
      {11, L"(none)", ROLE_SYSTEM_GRAPHIC, 0, 0},
  };
  // The plain spacer has nothing to tell; the second page is not shown.
  ASSERT_EQ(static_cast<long>(sizeof(expected) / sizeof(expected[0])), count);
  for (const Expected& e : expected) {
    EXPECT_EQ(e.name, Text(acc_.Get(), e.id, &IAccessible::get_accName)) << "child " << e.id;
    EXPECT_EQ(e.role, Long(acc_.Get(), e.id, &IAccessible::get_accRole)) << "child " << e.id;
    const long state = Long(acc_.Get(), e.id, &IAccessible::get_accState);
    EXPECT_EQ(e.stateOn, state & e.stateOn) << "child " << e.id;
    EXPECT_EQ(0, state & e.stateOff) << "child " << e.id;
  }
  EXPECT_EQ(ROLE_SYSTEM_CLIENT, Long(acc_.Get(), CHILDID_SELF, &IAccessible::get_accRole));

  // Ids outside the page are refused, not guessed.
  BSTR name = nullptr;
  EXPECT_EQ(E_INVALIDARG, acc_->get_accName(Child(12), &name));
  EXPECT_EQ(E_INVALIDARG, acc_->get_accName(Child(-5), &name));
  IDispatch* child = nullptr;
  EXPECT_EQ(S_FALSE, acc_->get_accChild(Child(7), &child));  // a simple element
  EXPECT_EQ(nullptr, child);
}

TEST_F(AccessibleWindowTest, ValuesDefaultActionsAndLocations) {
  EXPECT_EQ(L"C:\\hint", Text(acc_.Get(), 4, &IAccessible::get_accDescription));
  EXPECT_EQ(L"(none)", Text(acc_.Get(), 4, &IAccessible::get_accValue));
  Find<CEditUI>("path")->SetText("D:\\Games");
  EXPECT_EQ(L"D:\\Games", Text(acc_.Get(), 4, &IAccessible::get_accValue));
  EXPECT_EQ(L"25%", Text(acc_.Get(), 10, &IAccessible::get_accValue));  // 50 of 0..200
  EXPECT_EQ(L"terms text", Text(acc_.Get(), 9, &IAccessible::get_accValue));

  EXPECT_EQ(L"取消选中", Text(acc_.Get(), 5, &IAccessible::get_accDefaultAction));
  Find<COptionUI>("agree")->Selected(false);
  EXPECT_EQ(L"选中", Text(acc_.Get(), 5, &IAccessible::get_accDefaultAction));
  EXPECT_EQ(0, Long(acc_.Get(), 5, &IAccessible::get_accState) & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(L"选择", Text(acc_.Get(), 6, &IAccessible::get_accDefaultAction));
  EXPECT_EQ(L"按下", Text(acc_.Get(), 7, &IAccessible::get_accDefaultAction));
  EXPECT_EQ(L"(none)", Text(acc_.Get(), 2, &IAccessible::get_accDefaultAction));

  POINT origin = {0, 0};
  ::ClientToScreen(hwnd_, &origin);
  long x = 0, y = 0, w = 0, h = 0;
  ASSERT_EQ(S_OK, acc_->accLocation(&x, &y, &w, &h, Child(7)));
  EXPECT_EQ(origin.x + 10, x);
  EXPECT_EQ(origin.y + 70, y);
  EXPECT_EQ(80, w);
  EXPECT_EQ(24, h);
  VARIANT hit;
  ASSERT_EQ(S_OK, acc_->accHitTest(origin.x + 15, origin.y + 75, &hit));
  EXPECT_EQ(7, hit.lVal);
  ASSERT_EQ(S_OK, acc_->accHitTest(origin.x + 150, origin.y + 185, &hit));
  EXPECT_EQ(CHILDID_SELF, hit.lVal);
}

TEST_F(AccessibleWindowTest, DefaultActionClicksFromTheWindowQueue) {
  EXPECT_EQ(S_OK, acc_->accDoDefaultAction(Child(7)));
  EXPECT_TRUE(window_->notes.empty());  // not inside the reader's call
  ui_test::PumpMessages();
  EXPECT_EQ((std::vector<std::string>{"click:go"}), window_->notes);

  window_->notes.clear();
  EXPECT_EQ(S_OK, acc_->accDoDefaultAction(Child(5)));
  ui_test::PumpMessages();
  EXPECT_EQ((std::vector<std::string>{"click:agree", "selectchanged:agree"}), window_->notes);
  EXPECT_FALSE(Find<COptionUI>("agree")->IsSelected());

  window_->notes.clear();
  EXPECT_EQ(S_FALSE, acc_->accDoDefaultAction(Child(8)));  // disabled
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, acc_->accDoDefaultAction(Child(2)));
  ui_test::PumpMessages();
  EXPECT_TRUE(window_->notes.empty());
}

TEST_F(AccessibleWindowTest, FocusFollowsTheKeyboard) {
  VARIANT focus;
  ASSERT_EQ(S_OK, acc_->get_accFocus(&focus));
  EXPECT_EQ(CHILDID_SELF, focus.lVal);
  PressKey(hwnd_, VK_TAB);  // the path field, then the check box
  PressKey(hwnd_, VK_TAB);
  ASSERT_EQ(S_OK, acc_->get_accFocus(&focus));
  EXPECT_EQ(5, focus.lVal);
  EXPECT_NE(0, Long(acc_.Get(), 5, &IAccessible::get_accState) & STATE_SYSTEM_FOCUSED);
  ASSERT_EQ(S_OK, acc_->accSelect(SELFLAG_TAKEFOCUS, Child(7)));
  ASSERT_EQ(S_OK, acc_->get_accFocus(&focus));
  EXPECT_EQ(7, focus.lVal);
}

TEST_F(AccessibleWindowTest, TheOpenEditFieldIsNamedLikeItsControl) {
  PressKey(hwnd_, VK_TAB);
  HWND field = Find<CEditUI>("path")->GetNativeWindow();
  ASSERT_NE(nullptr, field);
  tn::ComPtr<IAccessible> native;
  ASSERT_HRESULT_SUCCEEDED(::AccessibleObjectFromWindow(field, static_cast<DWORD>(OBJID_CLIENT),
                                                        IID_IAccessible, native.ReceiveVoid()));
  EXPECT_EQ(L"位置", Text(native.Get(), CHILDID_SELF, &IAccessible::get_accName));
  // The rest is the system's own object for the edit window.
  EXPECT_EQ(ROLE_SYSTEM_TEXT, Long(native.Get(), CHILDID_SELF, &IAccessible::get_accRole));
  HWND window = nullptr;
  EXPECT_HRESULT_SUCCEEDED(::WindowFromAccessibleObject(native.Get(), &window));
  EXPECT_EQ(field, window);
}

TEST_F(AccessibleWindowTest, ChangesRaiseWinEvents) {
  WatchEvents();
  PressKey(hwnd_, VK_TAB);
  EXPECT_TRUE(Saw(EVENT_OBJECT_FOCUS, 4));
  Find<COptionUI>("agree")->Selected(false);
  EXPECT_TRUE(Saw(EVENT_OBJECT_STATECHANGE, 5));
  Find<CProgressUI>("bar")->SetValue(60);
  EXPECT_TRUE(Saw(EVENT_OBJECT_VALUECHANGE, 10));
  Find<CLabelUI>("message")->SetText("disk full");
  EXPECT_TRUE(Saw(EVENT_OBJECT_NAMECHANGE, 3));
  Find<CControlUI>("terms")->SetVisible(true);
  EXPECT_TRUE(Saw(EVENT_OBJECT_SHOW, 9));
  Find<CControlUI>("go")->SetEnabled(false);
  EXPECT_TRUE(Saw(EVENT_OBJECT_STATECHANGE, 7));

  // Another page: the reader is told to read the children anew, and they
  // are the new page's.
  Find<CTabLayoutUI>("tabs")->SelectItem(1);
  EXPECT_TRUE(Saw(EVENT_OBJECT_REORDER, CHILDID_SELF));
  EXPECT_TRUE(Saw(EVENT_OBJECT_FOCUS, CHILDID_SELF));  // the focused field went with its page
  long count = 0;
  ASSERT_EQ(S_OK, acc_->get_accChildCount(&count));
  EXPECT_EQ(1, count);
  EXPECT_EQ(L"next", Text(acc_.Get(), 1, &IAccessible::get_accName));
}

TEST_F(AccessibleWindowTest, AnObjectOutlivingItsWindowFailsCleanly) {
  window_.reset();
  long count = 0;
  EXPECT_EQ(CO_E_OBJNOTCONNECTED, acc_->get_accChildCount(&count));
  BSTR name = nullptr;
  EXPECT_EQ(CO_E_OBJNOTCONNECTED, acc_->get_accName(Child(1), &name));
  EXPECT_EQ(CO_E_OBJNOTCONNECTED, acc_->accDoDefaultAction(Child(1)));
}

}  // namespace
