#include "ui/dpi_scale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/focus_navigator.h"
#include "ui/image_resample.h"
#include "ui/render.h"
#include "ui/test_zip_writer.h"
#include "ui/ui_test_support.h"

namespace {

using namespace DuiLib;
using ui_test::TestWindow;

// --- the rule ----------------------------------------------------------------

TEST(DpiScaleRule, RoundsToTheNearestPixelHalvesAwayFromZero) {
  struct Case {
    int length, dpi, expected;
  } cases[] = {
      {610, 96, 610},  {390, 96, 390},   {610, 120, 763}, {390, 120, 488},       {610, 144, 915},
      {390, 144, 585}, {610, 192, 1220}, {390, 192, 780}, {15, 144, 23},         {15, 120, 19},
      {1, 120, 1},     {2, 120, 3},      {1, 144, 2},     {0, 144, 0},           {-3, 144, -5},
      {-1, 120, -1},   {9, 168, 16},     {7, 72, 5},      {100000, 192, 200000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ScaleLength(c.length, c.dpi)) << c.length << " at " << c.dpi << " DPI";
  }
}

TEST(DpiScaleRule, ImplausibleDpiCountsAs96) {
  for (int dpi : {0, -96, 47, 961, 100000}) {
    CDpiScale scale(dpi);
    EXPECT_EQ(96, scale.GetDpi()) << dpi;
    EXPECT_EQ(610, scale.Scale(610)) << dpi;
  }
  CDpiScale scale(120);
  EXPECT_EQ(125, scale.GetPercent());
  RECT rc = scale.Scale(RECT{4, 3, 4, 106});
  EXPECT_EQ(5, rc.left);
  EXPECT_EQ(4, rc.top);
  EXPECT_EQ(5, rc.right);
  EXPECT_EQ(133, rc.bottom);
}

TEST(DpiScaleRule, VariantFileNames) {
  EXPECT_EQ("image\\close@2x.bmp", ImageVariantPath("image\\close.bmp", 200));
  EXPECT_EQ("image/close@1.5x.bmp", ImageVariantPath("image/close.bmp", 150));
  EXPECT_EQ("image\\close.bmp", ImageVariantPath("image\\close.bmp", 125));
  EXPECT_EQ("im.age\\close@2x", ImageVariantPath("im.age\\close", 200));
}

TEST(DpiScaleRule, TheSystemAnswersWithAPlausibleDpi) {
  int dpi = QueryWindowDpi(nullptr);
  EXPECT_GE(dpi, kMinDpi);
  EXPECT_LE(dpi, kMaxDpi);
  EXPECT_EQ(dpi, QueryWindowDpi(::GetDesktopWindow()));
}

// --- resampling --------------------------------------------------------------

TEST(ImageResample, AveragesWhatATargetPixelCovers) {
  const uint32_t pixels[] = {0x000000, 0xFFFFFF, 0x204060, 0x204060};
  std::vector<uint32_t> out;
  ASSERT_TRUE(ResamplePixels(pixels, 2, 2, 2, PixelRect{0, 0, 2, 1}, 1, 1, &out));
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ(0x808080u, out[0] & 0xFFFFFF);
  // A flat colour stays exactly that colour at any size.
  ASSERT_TRUE(ResamplePixels(pixels, 2, 2, 2, PixelRect{0, 1, 2, 2}, 7, 3, &out));
  for (uint32_t p : out) EXPECT_EQ(0x204060u, p);
}

TEST(ImageResample, AThinLineSurvivesShrinkingAsALighterLine) {
  // 4 x 1: white, black, white, white -> 3 x 1.
  const uint32_t pixels[] = {0xFFFFFF, 0x000000, 0xFFFFFF, 0xFFFFFF};
  std::vector<uint32_t> out;
  ASSERT_TRUE(ResamplePixels(pixels, 4, 1, 4, PixelRect{0, 0, 4, 1}, 3, 1, &out));
  ASSERT_EQ(3u, out.size());
  EXPECT_EQ(0xFFFFFFu, out[2]);
  // Each target pixel covers 4/3 source pixels: the black one fills a
  // quarter of the first and half of the second, so its darkness survives.
  int darkness =
      (0xFF - static_cast<int>(out[0] & 0xFF)) + (0xFF - static_cast<int>(out[1] & 0xFF));
  EXPECT_GT(0xFF - static_cast<int>(out[0] & 0xFF), 0);
  EXPECT_GT(0xFF - static_cast<int>(out[1] & 0xFF), 0);
  EXPECT_NEAR(191, darkness, 2);
}

TEST(ImageResample, ClipsThePartAndRefusesEmptyOnes) {
  const uint32_t pixels[] = {1, 2, 3, 4, 5, 6};
  std::vector<uint32_t> out;
  ASSERT_TRUE(ResamplePixels(pixels, 3, 2, 3, PixelRect{2, 1, 99, 99}, 2, 2, &out));
  for (uint32_t p : out) EXPECT_EQ(6u, p);
  EXPECT_FALSE(ResamplePixels(pixels, 3, 2, 3, PixelRect{3, 0, 5, 2}, 2, 2, &out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(ResamplePixels(pixels, 3, 2, 3, PixelRect{0, 0, 3, 2}, 0, 2, &out));
  EXPECT_FALSE(ResamplePixels(nullptr, 3, 2, 3, PixelRect{0, 0, 3, 2}, 2, 2, &out));
}

// --- windows at other DPIs -------------------------------------------------------

// Slot colours of the strips: the 100 % image, its 150 % and 200 % variants.
constexpr uint32_t kBase[] = {0x100000, 0x200000, 0x300000, 0x400000, 0x500000};
constexpr uint32_t kOneAndHalf[] = {0x001000, 0x002000, 0x003000, 0x004000, 0x005000};
constexpr uint32_t kDouble[] = {0x000010, 0x000020, 0x000030, 0x000040, 0x000050};
constexpr uint32_t kOnlyBase = 0x777777;

const char kDpiLayout[] =
    "<Window size=\"200,100\" caption=\"0,0,0,30\">"
    "<Font id=\"1\" name=\"Microsoft YaHei\" size=\"12\" default=\"true\"/>"
    "<Font id=\"2\" name=\"Microsoft YaHei\" size=\"15\" bold=\"true\"/>"
    "<TabLayout name=\"tabs\">"
    "<VerticalLayout name=\"page0\" bkcolor=\"#FF102030\">"
    "<Button name=\"btn\" float=\"true\" pos=\"15,10,0,0\" width=\"20\" height=\"10\""
    " normalimage=\"file='image\\strip.bmp' source='0,10,20,20'\"/>"
    "<Button name=\"plain\" float=\"true\" pos=\"50,10,0,0\" width=\"20\" height=\"10\" "
    "normalimage=\"image\\only.bmp\"/>"
    "<Option name=\"check\" float=\"true\" pos=\"80,10,0,0\" width=\"15\" height=\"15\" "
    "selected=\"true\"/>"
    "<Edit name=\"edit\" float=\"true\" pos=\"10,40,0,0\" width=\"100\" height=\"24\" font=\"1\"/>"
    "<HorizontalLayout name=\"row\" float=\"true\" pos=\"0,70,0,0\" width=\"200\" height=\"20\" "
    "childpadding=\"5\">"
    "<Control name=\"a\" width=\"30\"/><Control name=\"b\"/></HorizontalLayout>"
    "</VerticalLayout>"
    "<VerticalLayout name=\"page1\"/>"
    "</TabLayout></Window>";

std::string StripBmp(int scalePercent, const uint32_t* colors) {
  int slot = 10 * scalePercent / 100;
  return ui_test::MakeBmp24(20 * scalePercent / 100, 5 * slot,
                            [slot, colors](int, int y) -> uint32_t { return colors[y / slot]; });
}

class DpiWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::string package;
    if (package.empty()) {
      package = ui_test::MakeZip({
          {"dpi.xml", kDpiLayout, true},
          {"image/strip.bmp", StripBmp(100, kBase), true},
          {"image/strip@1.5x.bmp", StripBmp(150, kOneAndHalf), true},
          {"image/strip@2x.bmp", StripBmp(200, kDouble), true},
          {"image/only.bmp",
           ui_test::MakeBmp24(20, 10, [](int, int) -> uint32_t { return kOnlyBase; }), true},
      });
    }
    CPaintManagerUI::SetInstance(::GetModuleHandleA(nullptr));
    ASSERT_TRUE(
        CPaintManagerUI::SetResourceZip(&package[0], static_cast<unsigned>(package.size())));
  }

  static void SendDpiChanged(HWND hwnd, int dpi, const RECT* suggested) {
    ::SendMessageA(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(suggested));
  }

  static int FontHeight(HFONT font) {
    LOGFONTA lf = {};
    ::GetObjectA(font, sizeof(lf), &lf);
    return lf.lfHeight;
  }

  static RECT Rect(LONG l, LONG t, LONG r, LONG b) { return RECT{l, t, r, b}; }
};

void ExpectRect(const RECT& expected, const RECT& actual, const char* what) {
  EXPECT_EQ(expected.left, actual.left) << what;
  EXPECT_EQ(expected.top, actual.top) << what;
  EXPECT_EQ(expected.right, actual.right) << what;
  EXPECT_EQ(expected.bottom, actual.bottom) << what;
}

TEST_F(DpiWindowTest, EachScaleDrawsTheSameStripSlotFromItsVariant) {
  struct Case {
    int dpi;
    uint32_t color;  // slot 1 of the variant that serves this scale
  } cases[] = {{96, kBase[1]},    {120, kOneAndHalf[1]}, {144, kOneAndHalf[1]},
               {168, kDouble[1]}, {192, kDouble[1]},     {240, kDouble[1]}};
  for (const Case& c : cases) {
    TestWindow window("dpi.xml");
    ASSERT_TRUE(window.CreateAt(0, 0));
    SendDpiChanged(window.GetHWND(), c.dpi, nullptr);
    ui_test::Snapshot snapshot(window.manager());
    RECT btn = window.Find<CControlUI>("btn")->GetPos();
    int width = btn.right - btn.left, height = btn.bottom - btn.top;
    EXPECT_EQ(ScaleLength(20, c.dpi), width) << c.dpi;
    EXPECT_EQ(ScaleLength(10, c.dpi), height) << c.dpi;
    // Every pixel of the button shows its slot: nothing of the neighbouring
    // slots bleeds in, whatever the filter did.
    EXPECT_EQ(width * height, snapshot.Count(btn, c.color)) << c.dpi << " DPI";
    // Without variants the 100 % image is stretched.
    RECT plain = window.Find<CControlUI>("plain")->GetPos();
    EXPECT_EQ((plain.right - plain.left) * (plain.bottom - plain.top),
              snapshot.Count(plain, kOnlyBase))
        << c.dpi;
  }
}

TEST_F(DpiWindowTest, VariantChoicePerScale) {
  int percent = 0;
  const TImageInfo* image = ChooseSkinImage("image\\strip.bmp", 100, &percent);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(100, percent);
  EXPECT_EQ(20, image->nX);
  struct Case {
    int percent, variant, width;
  } cases[] = {{75, 100, 20},  {125, 150, 30}, {150, 150, 30},
               {151, 200, 40}, {200, 200, 40}, {300, 200, 40}};
  for (const Case& c : cases) {
    image = ChooseSkinImage("image\\strip.bmp", c.percent, &percent);
    ASSERT_NE(nullptr, image) << c.percent;
    EXPECT_EQ(c.variant, percent) << c.percent;
    EXPECT_EQ(c.width, image->nX) << c.percent;
  }
  image = ChooseSkinImage("image\\only.bmp", 200, &percent);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(100, percent);
  EXPECT_EQ(nullptr, ChooseSkinImage("image\\none.bmp", 200, &percent));
}

TEST_F(DpiWindowTest, DpiChangeScalesLayoutFontsAndCaptionAndKeepsTheState) {
  TestWindow window("dpi.xml");
  ASSERT_TRUE(window.CreateAt(30, 40));
  HWND hwnd = window.GetHWND();
  CPaintManagerUI& manager = window.manager();
  ASSERT_EQ(96, manager.GetDpi()) << "the test prefix is expected at 96 DPI";
  ExpectRect(Rect(15, 10, 35, 20), window.Find<CControlUI>("btn")->GetPos(), "btn at 96");
  EXPECT_EQ(-15, FontHeight(manager.GetFont(2)));

  // State the user made: a cleared option and a path typed into the open
  // field, on the first page.
  window.Find<COptionUI>("check")->Selected(false);
  auto* edit = window.Find<CEditUI>("edit");
  edit->SetFocus();
  HWND field = ::FindWindowExA(hwnd, nullptr, "EDIT", nullptr);
  ASSERT_NE(nullptr, field);
  ::SetWindowTextA(field, "D:\\Games\\Tarnis");

  RECT suggested = {50, 60, 50 + 300, 60 + 150};
  SendDpiChanged(hwnd, 144, &suggested);
  EXPECT_EQ(144, manager.GetDpi());
  RECT rc;
  ::GetWindowRect(hwnd, &rc);
  ExpectRect(suggested, rc, "window takes the suggested rectangle");

  ExpectRect(Rect(23, 15, 53, 30), window.Find<CControlUI>("btn")->GetPos(), "btn at 144");
  ExpectRect(Rect(0, 105, 45, 135), window.Find<CControlUI>("a")->GetPos(), "a at 144");
  ExpectRect(Rect(53, 105, 300, 135), window.Find<CControlUI>("b")->GetPos(),
             "b after the scaled padding");
  EXPECT_EQ(-23, FontHeight(manager.GetFont(2)));
  EXPECT_EQ(-18, FontHeight(manager.GetFont(1)));
  EXPECT_EQ(-18, FontHeight(manager.GetDefaultFont()));

  // The open field keeps its text, takes the new font and its new place.
  ASSERT_TRUE(::IsWindow(field));
  char text[64] = {};
  ::GetWindowTextA(field, text, sizeof(text));
  EXPECT_STREQ("D:\\Games\\Tarnis", text);
  EXPECT_EQ(reinterpret_cast<LRESULT>(manager.GetFont(1)), ::SendMessageA(field, WM_GETFONT, 0, 0));
  ::GetWindowRect(field, &rc);
  ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_GE(rc.left, 15 + 6);
  EXPECT_LE(rc.right, 15 + 150 - 6 + 1);
  EXPECT_GT(rc.top, 60);
  EXPECT_LT(rc.bottom, 96);

  EXPECT_FALSE(window.Find<COptionUI>("check")->IsSelected());
  EXPECT_EQ(0, window.Find<CTabLayoutUI>("tabs")->GetCurSel());

  // The caption area is the top 45 pixels now, the button hit where it shows.
  POINT inside = {5, 44}, below = {5, 46};
  ::ClientToScreen(hwnd, &inside);
  ::ClientToScreen(hwnd, &below);
  EXPECT_EQ(HTCAPTION, ::SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y)));
  EXPECT_EQ(HTCLIENT, ::SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(below.x, below.y)));
  EXPECT_EQ(window.Find<CControlUI>("btn"), manager.FindMouseControl(POINT{50, 28}));
  EXPECT_EQ(nullptr, manager.FindMouseControl(POINT{20, 12}));

  // Back to 96 without a rectangle: the layout's own size, in place.
  SendDpiChanged(hwnd, 96, nullptr);
  ::GetWindowRect(hwnd, &rc);
  ExpectRect(Rect(50, 60, 250, 160), rc, "layout size at 96");
  ExpectRect(Rect(15, 10, 35, 20), window.Find<CControlUI>("btn")->GetPos(), "btn back at 96");
  EXPECT_EQ(-15, FontHeight(manager.GetFont(2)));

  window.manager().SetFocus(nullptr);
  EXPECT_EQ("D:\\Games\\Tarnis", edit->GetText().str());
}

TEST_F(DpiWindowTest, TheKeyboardFocusRingGrowsWithTheScale) {
  BOOL cues = FALSE;
  ::SystemParametersInfoA(SPI_GETKEYBOARDCUES, 0, &cues, 0);
  ::SystemParametersInfoA(SPI_SETKEYBOARDCUES, 0, nullptr, 0);
  TestWindow window("dpi.xml");
  ASSERT_TRUE(window.CreateAt(0, 0));
  SendDpiChanged(window.GetHWND(), 144, nullptr);
  ui_test::PressKey(window.GetHWND(), VK_TAB, false);
  CControlUI* btn = window.Find<CControlUI>("btn");
  ASSERT_EQ(btn, window.manager().GetFocus());
  // At 96 DPI: 1 pixel of halo, 2 of ring, 1 of gap; at 144 DPI 2, 3, 1.
  RECT cue = CFocusNavigator::CueRect(btn);
  EXPECT_EQ(btn->GetPos().left - 6, cue.left);
  ui_test::Snapshot snapshot(window.manager());
  const int y = (btn->GetPos().top + btn->GetPos().bottom) / 2;
  const DWORD ring = 0x1C60C4;
  EXPECT_EQ(0xFFFFFFu, snapshot.At(cue.left + 1, y));
  for (int x = cue.left + 2; x <= cue.left + 4; ++x)
    EXPECT_EQ(ring, snapshot.At(x, y)) << x - cue.left;
  EXPECT_NE(ring, snapshot.At(cue.left + 5, y));
  ::SystemParametersInfoA(SPI_SETKEYBOARDCUES, 0,
                          reinterpret_cast<PVOID>(static_cast<INT_PTR>(cues)), 0);
}

TEST_F(DpiWindowTest, ANonsenseDpiMessageLeavesTheWindowAt96) {
  TestWindow window("dpi.xml");
  ASSERT_TRUE(window.CreateAt(0, 0));
  SendDpiChanged(window.GetHWND(), 0, nullptr);
  EXPECT_EQ(96, window.manager().GetDpi());
  RECT rc;
  ::GetClientRect(window.GetHWND(), &rc);
  EXPECT_EQ(200, rc.right);
  EXPECT_EQ(100, rc.bottom);
}

}  // namespace
