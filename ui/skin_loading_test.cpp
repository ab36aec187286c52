#include <gtest/gtest.h>

#include "ui/UIlib.h"
#include "ui/render.h"
#include "ui/ui_test_support.h"

namespace {

using namespace DuiLib;
using ui_test::Snapshot;
using ui_test::TestWindow;

class SkinLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override { ui_test::UseTestSkin(); }
};

TEST_F(SkinLoadingTest, BuilderReturnsNullForMissingOrMalformedLayouts) {
  CDialogBuilder builder;
  EXPECT_EQ(nullptr, builder.Create("missing.xml"));
  EXPECT_FALSE(builder.GetLastErrorMessage().IsEmpty());
  EXPECT_EQ(nullptr, builder.Create("broken.xml"));
  EXPECT_EQ(nullptr, builder.Create("<Window><Unknown/></Window>"));
  EXPECT_EQ(nullptr, builder.Create(""));

  CControlUI* root = builder.Create(
      "<Window><HorizontalLayout name=\"root\"><Label name=\"l\" text=\"a\"/>"
      "<Label name=\"l2\"><Button/></Label></HorizontalLayout></Window>");
  ASSERT_NE(nullptr, root);
  auto* container = static_cast<IContainerUI*>(root->GetInterface("IContainer"));
  ASSERT_NE(nullptr, container);
  EXPECT_EQ(2, container->GetCount());
  delete root;
}

TEST_F(SkinLoadingTest, UnreadableImagesLeaveTheControlsInPlace) {
  TestWindow window("bad_image.xml");
  ASSERT_TRUE(window.CreateAt(0, 0));
  Snapshot shot(window.manager());
  for (const char* name : {"missing", "deep", "short", "crc"}) {
    CControlUI* button = window.Find<CControlUI>(name);
    ASSERT_NE(nullptr, button) << name;
    RECT rc = button->GetPos();
    EXPECT_EQ(ui_test::kPageColor, shot.At(rc.left + 5, rc.top + 5)) << name;
  }
}

TEST_F(SkinLoadingTest, APackageThatIsNotAZipIsRefused) {
  std::string noise(4096, 'P');
  EXPECT_FALSE(CPaintManagerUI::SetResourceZip(&noise[0], static_cast<unsigned int>(noise.size())));
  std::string bytes;
  EXPECT_FALSE(CPaintManagerUI::LoadSkinFile("test.xml", &bytes));
  CDialogBuilder builder;
  EXPECT_EQ(nullptr, builder.Create("test.xml"));
  ui_test::UseTestSkin();
  EXPECT_TRUE(CPaintManagerUI::LoadSkinFile("IMAGE\\Strip.BMP", &bytes));
}

TEST_F(SkinLoadingTest, InitialisationRegistersTheShadowClass) {
  WNDCLASSA wc = {};
  EXPECT_TRUE(::GetClassInfoA(::GetModuleHandleA(nullptr), "DuiShadow", &wc));
  EXPECT_EQ(::GetModuleHandleA(nullptr), CPaintManagerUI::GetInstance());
}

TEST_F(SkinLoadingTest, FontsComeFromTheIncludedTable) {
  TestWindow window;
  ASSERT_TRUE(window.CreateAt(0, 0));
  HFONT big = window.manager().GetFont(2);
  ASSERT_NE(nullptr, big);
  LOGFONTA lf = {};
  ASSERT_NE(0, ::GetObjectA(big, sizeof(lf), &lf));
  EXPECT_EQ(-20, lf.lfHeight);  // sizes are pixels
  EXPECT_EQ(FW_BOLD, lf.lfWeight);
  EXPECT_STREQ("Microsoft YaHei", lf.lfFaceName);
  // An unknown id falls back to the default font of the table.
  EXPECT_EQ(window.manager().GetFont(1), window.manager().GetFont(99));
}

// A GDI handle that has been deleted is no object any more.
bool IsDeleted(HGDIOBJ object) { return ::GetObjectType(object) == 0; }

TEST_F(SkinLoadingTest, TheFontTableDeletesTheFontsItReplacesOrOutlives) {
  HFONT replaced = nullptr, kept = nullptr, beforeDpi = nullptr;
  {
    CPaintManagerUI manager;
    manager.AddFont(5, "Microsoft YaHei", 12, false, false, false, true);
    replaced = manager.GetFont(5);
    ASSERT_EQ(replaced, manager.GetDefaultFont());
    // The same id again: the earlier font goes, and with it the default.
    manager.AddFont(5, "Microsoft YaHei", 14, true, false, false);
    kept = manager.GetFont(5);
    EXPECT_NE(replaced, kept);
    EXPECT_TRUE(IsDeleted(replaced));
    EXPECT_EQ(::GetStockObject(DEFAULT_GUI_FONT), manager.GetDefaultFont());

    // A new DPI makes every font anew; the old ones are gone once it returns.
    manager.SetDpi(144);
    beforeDpi = kept;
    kept = manager.GetFont(5);
    EXPECT_NE(beforeDpi, kept);
    EXPECT_TRUE(IsDeleted(beforeDpi));
    EXPECT_FALSE(IsDeleted(kept));
  }
  EXPECT_TRUE(IsDeleted(kept));
}

TEST_F(SkinLoadingTest, ClearingTheImageCacheDeletesItsBitmaps) {
  const TImageInfo* image = LoadSkinImage("image\\strip.bmp");
  ASSERT_NE(nullptr, image);
  HBITMAP bitmap = image->hBitmap;
  EXPECT_EQ(image, LoadSkinImage("IMAGE/Strip.bmp"));  // cached
  EXPECT_FALSE(IsDeleted(bitmap));
  CPaintManagerUI::ClearImageCache();
  EXPECT_TRUE(IsDeleted(bitmap));
  image = LoadSkinImage("image\\strip.bmp");  // loads again on use
  ASSERT_NE(nullptr, image);
  EXPECT_FALSE(IsDeleted(image->hBitmap));
}

TEST_F(SkinLoadingTest, DelegatesCompareByObjectAndFunction) {
  TestWindow a, b;
  CEventSource source;
  source += MakeDelegate(&a, &TestWindow::OnHandler);
  source += MakeDelegate(&b, &TestWindow::OnHandler);
  EXPECT_EQ(2, source.GetCount());
  source -= MakeDelegate(&a, &TestWindow::OnHandler);
  EXPECT_EQ(1, source.GetCount());
  CButtonUI sender;
  sender.SetName("x");
  TNotifyUI msg;
  msg.sType = "click";
  msg.pSender = &sender;
  EXPECT_TRUE(source(&msg));
  EXPECT_TRUE(a.handled.empty());
  ASSERT_EQ(1u, b.handled.size());
  EXPECT_EQ("click:x", b.handled[0]);
}

}  // namespace
