// The built skin package read by the window framework itself: every page
// builds, every control the pages look up is there with its kind (the pages
// do not test for missing controls), every bitmap loads at its size, and the
// font table is read. Positions and looks are checked on the package itself
// by tests/e2e/test_skin_package.py.
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
};

struct Page {
  const char* file;
  std::vector<Expected> controls;
};

const std::vector<Page>& Pages() {
  static const std::vector<Page> pages = {
      {"UI_HomePage.xml",
       {{"tab_control", "TabLayoutUI"},
        {"topControl", "VerticalLayoutUI"},
        {"Container_custom_install", "VerticalLayoutUI"},
        {"Container_installing", "VerticalLayoutUI"},
        {"Container_install_success", "VerticalLayoutUI"},
        {"btn_install", "ButtonUI"},
        {"btn_mini", "ButtonUI"},
        {"btn_close", "ButtonUI"},
        {"btn_protocol_text", "ButtonUI"},
        {"btn_custom_install", "ButtonUI"},
        {"btn_checkbox", "OptionUI"},
        {"re_read", "RichEditUI"}}},
      {"UI_CustomInstall.xml",
       {{"root", "HorizontalLayoutUI"},
        {"btn_mini", "ButtonUI"},
        {"btn_close", "ButtonUI"},
        {"l_site", "LabelUI"},
        {"l_info", "LabelUI"},
        {"edit_path", "EditUI"},
        {"btn_browser", "ButtonUI"},
        {"btn_cb_shortcut", "OptionUI"},
        {"btn_cb_Launchbar", "OptionUI"},
        {"btn_cb_autorun", "OptionUI"},
        {"btn_install", "ButtonUI"},
        {"btn_return", "ButtonUI"}}},
      {"UI_Installing.xml",
       {{"root", "HorizontalLayoutUI"},
        {"btn_mini", "ButtonUI"},
        {"btn_close", "ButtonUI"},
        {"l_installing", "LabelUI"},
        {"l_percent", "LabelUI"},
        {"l_loading", "LabelUI"},
        {"p_progress", "ProgressUI"}}},
      {"UI_InstallSuccess.xml",
       {{"root", "HorizontalLayoutUI"},
        {"btn_mini", "ButtonUI"},
        {"btn_close", "ButtonUI"},
        {"btn_Open", "ButtonUI"}}},
  };
  return pages;
}

class SkinPackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The framework keeps a pointer to the package: it must outlive the suite.
    package_ = new std::string(tn_test::ReadFileBytes(tn_test::BuildPath("skin/skin.zip")));
    CPaintManagerUI::SetInstance(::GetModuleHandleA(nullptr));
    loaded_ = !package_->empty() && CPaintManagerUI::SetResourceZip(
                                        &(*package_)[0], static_cast<unsigned>(package_->size()));
  }

  void SetUp() override { ASSERT_TRUE(loaded_) << "skin/skin.zip missing or unreadable"; }

  static std::string* package_;
  static bool loaded_;
};

std::string* SkinPackageTest::package_ = nullptr;
bool SkinPackageTest::loaded_ = false;

TEST_F(SkinPackageTest, EveryPageBuildsWithTheControlsItsCodeLooksUp) {
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
      // Layouts fill their parent; everything else is placed by position.
      EXPECT_EQ(control->IsFloat(), std::strstr(e.cls, "Layout") == nullptr);
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
      {"image\\bg_install_step1.bmp", 610, 390},
      {"image\\bg_install_step2.bmp", 610, 390},
      {"image\\bg_install_success.bmp", 610, 390},
      {"image\\install.bmp", 180, 230},
      {"image\\invoker.bmp", 130, 230},
      {"image\\mini.bmp", 19, 75},
      {"image\\close.bmp", 19, 75},
      {"image\\checkbox.bmp", 15, 75},
      {"image\\uncheckbox.bmp", 15, 75},
      {"image\\browser.bmp", 53, 175},
      {"image\\return.bmp", 60, 150},
      {"image\\input.bmp", 286, 200},
      {"image\\loading_pic1.bmp", 610, 228},
      {"image\\loading_pic2.bmp", 610, 228},
      {"image\\loading_pic3.bmp", 610, 228},
      {"image\\progress_bg.bmp", 10, 5},
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
