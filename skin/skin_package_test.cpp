// The built skin package read by the window framework itself: every page
// builds, every control the pages look up is there with its kind and place,
// every bitmap a layout names loads at its size, and the font table is read.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "ui/UIlib.h"
#include "ui/render.h"

namespace {

using namespace DuiLib;

// A hidden window built from one layout of the package; destroyed with the
// object, so no window outlives it when an assertion returns early.
class PageWindow : public WindowImplBase {
 public:
  explicit PageWindow(const char* file) : file_(file) {
    Create(nullptr, "TNSkinPackageTest", WS_POPUP, 0);
  }
  ~PageWindow() override {
    if (::IsWindow(GetHWND())) ::DestroyWindow(GetHWND());
  }
  CDuiString GetSkinFile() override { return CDuiString(file_); }
  LPCTSTR GetWindowClassName() const override { return "TNSkinPackageTest"; }
  CPaintManagerUI& Manager() { return m_PaintManager; }

 private:
  const char* file_;
};

struct Expected {
  const char* name;
  const char* cls;
  int x, y, width, height;
};

struct Page {
  const char* file;
  std::vector<Expected> controls;
};

const std::vector<Page>& Pages() {
  static const std::vector<Page> pages = {
      {"UI_HomePage.xml",
       {{"btn_install", "ButtonUI", 215, 288, 180, 46},
        {"btn_mini", "ButtonUI", 552, 6, 19, 15},
        {"btn_close", "ButtonUI", 581, 6, 19, 15},
        {"btn_protocol_text", "ButtonUI", 114, 353, 150, 14},
        {"btn_custom_install", "ButtonUI", 513, 354, 75, 16},
        {"btn_checkbox", "OptionUI", 13, 352, 15, 15},
        {"re_read", "RichEditUI", 10, 30, 590, 225}}},
      {"UI_CustomInstall.xml",
       {{"btn_mini", "ButtonUI", 552, 6, 19, 15},
        {"btn_close", "ButtonUI", 581, 6, 19, 15},
        {"l_site", "LabelUI", 20, 218, 80, 20},
        {"l_info", "LabelUI", 140, 218, 400, 20},
        {"edit_path", "EditUI", 19, 244, 510, 34},
        {"btn_browser", "ButtonUI", 538, 244, 53, 35},
        {"btn_cb_shortcut", "OptionUI", 20, 285, 15, 15},
        {"btn_cb_Launchbar", "OptionUI", 204, 285, 15, 15},
        {"btn_cb_autorun", "OptionUI", 382, 285, 15, 15},
        {"btn_install", "ButtonUI", 215, 314, 180, 46},
        {"btn_return", "ButtonUI", 550, 334, 60, 30}}},
      {"UI_Installing.xml",
       {{"btn_mini", "ButtonUI", 552, 6, 19, 15},
        {"btn_close", "ButtonUI", 581, 6, 19, 15},
        {"l_installing", "LabelUI", 24, 318, 150, 20},
        {"l_percent", "LabelUI", 553, 318, 30, 20},
        {"l_loading", "LabelUI", 0, 32, 610, 228},
        {"p_progress", "ProgressUI", 24, 340, 562, 10}}},
      {"UI_InstallSuccess.xml",
       {{"btn_mini", "ButtonUI", 552, 6, 19, 15},
        {"btn_close", "ButtonUI", 581, 6, 19, 15},
        {"btn_Open", "ButtonUI", 240, 292, 130, 46}}},
  };
  return pages;
}

class SkinPackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The framework keeps a pointer to the package: it must outlive the suite.
    package_ = new std::string(tn_test::ReadFileBytes(tn_test::BuildPath("skin/skin.zip")));
    CPaintManagerUI::SetInstance(::GetModuleHandleA(nullptr));
    loaded_ = !package_->empty() &&
              CPaintManagerUI::SetResourceZip(&(*package_)[0], static_cast<unsigned>(package_->size()));
  }

  void SetUp() override { ASSERT_TRUE(loaded_) << "skin/skin.zip missing or unreadable"; }

  static std::string* package_;
  static bool loaded_;
};

std::string* SkinPackageTest::package_ = nullptr;
bool SkinPackageTest::loaded_ = false;

TEST_F(SkinPackageTest, EveryPageBuildsWithItsControlsInPlace) {
  for (const Page& page : Pages()) {
    SCOPED_TRACE(page.file);
    PageWindow window(page.file);
    ASSERT_NE(window.GetHWND(), nullptr);
    CPaintManagerUI& manager = window.Manager();
    ASSERT_NE(manager.GetRoot(), nullptr);
    EXPECT_EQ(manager.GetInitSize().cx, 610);
    EXPECT_EQ(manager.GetInitSize().cy, 390);
    EXPECT_EQ(manager.GetCaptionRect().bottom, 270);
    for (const Expected& e : page.controls) {
      SCOPED_TRACE(e.name);
      CControlUI* control = manager.FindControl(e.name);
      ASSERT_NE(control, nullptr);
      EXPECT_STREQ(control->GetClass(), e.cls);
      EXPECT_TRUE(control->IsFloat());
      EXPECT_EQ(control->GetFixedXY().cx, e.x);
      EXPECT_EQ(control->GetFixedXY().cy, e.y);
      EXPECT_EQ(control->GetFixedWidth(), e.width);
      EXPECT_EQ(control->GetFixedHeight(), e.height);
      // Every text survives the conversion to code page 936.
      EXPECT_EQ(std::strchr(control->GetText().GetData(), '?'), nullptr);
    }
  }
}

TEST_F(SkinPackageTest, WelcomePageOpensWithAgreementHiddenAndAccepted) {
  PageWindow window("UI_HomePage.xml");
  ASSERT_NE(window.GetHWND(), nullptr);
  CPaintManagerUI& manager = window.Manager();
  auto* box = static_cast<COptionUI*>(manager.FindControl("btn_checkbox"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->IsSelected());
  EXPECT_STREQ(box->GetText().GetData(), "我已阅读并同意");  // the later of its two texts
  CControlUI* agreement = manager.FindControl("re_read");
  ASSERT_NE(agreement, nullptr);
  EXPECT_FALSE(agreement->IsVisible());
  std::string text = agreement->GetText().GetData();
  EXPECT_GT(text.size(), 4000u);
  EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 40);
}

TEST_F(SkinPackageTest, InstallingPageCloseButtonIsDisabled) {
  PageWindow installing("UI_Installing.xml");
  ASSERT_NE(installing.GetHWND(), nullptr);
  CControlUI* close = installing.Manager().FindControl("btn_close");
  CControlUI* minimise = installing.Manager().FindControl("btn_mini");
  ASSERT_TRUE(close && minimise);
  EXPECT_FALSE(close->IsEnabled());
  EXPECT_TRUE(minimise->IsEnabled());
}

TEST_F(SkinPackageTest, BitmapsLoadAtTheirSizes) {
  struct Size {
    const char* path;
    int width, height;
  };
  const Size sizes[] = {
      {"image\\bg_install_step1.bmp", 610, 390}, {"image\\bg_install_step2.bmp", 610, 390},
      {"image\\bg_install_success.bmp", 610, 390}, {"image\\install.bmp", 180, 230},
      {"image\\invoker.bmp", 130, 230},          {"image\\mini.bmp", 19, 75},
      {"image\\close.bmp", 19, 75},              {"image\\checkbox.bmp", 15, 75},
      {"image\\uncheckbox.bmp", 15, 75},         {"image\\browser.bmp", 53, 175},
      {"image\\return.bmp", 60, 150},            {"image\\input.bmp", 286, 200},
      {"image\\loading_pic1.bmp", 610, 228},     {"image\\loading_pic2.bmp", 610, 228},
      {"image\\loading_pic3.bmp", 610, 228},     {"image\\progress_bg.bmp", 10, 5},
      {"image\\progress_pr.bmp", 10, 5},
  };
  for (const Size& s : sizes) {
    SCOPED_TRACE(s.path);
    const TImageInfo* image = LoadSkinImage(s.path);
    ASSERT_NE(image, nullptr);
    EXPECT_NE(image->hBitmap, nullptr);
    EXPECT_EQ(image->nX, s.width);
    EXPECT_EQ(image->nY, s.height);
  }
}

TEST_F(SkinPackageTest, FontTableGivesThirtyOneDistinctFonts) {
  PageWindow window("UI_InstallSuccess.xml");
  ASSERT_NE(window.GetHWND(), nullptr);
  std::set<HFONT> fonts;
  for (int id = 0; id <= 30; ++id) {
    HFONT font = window.Manager().GetFont(id);
    EXPECT_NE(font, nullptr) << "font " << id;
    fonts.insert(font);
  }
  EXPECT_EQ(fonts.size(), 31u);
}

}  // namespace
