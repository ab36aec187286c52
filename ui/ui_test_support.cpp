#include "ui/ui_test_support.h"

#include "ui/render.h"
#include "ui/test_zip_writer.h"
#include "util/scoped_gdi.h"

namespace ui_test {

namespace {

std::string Strip() {
  return MakeBmp24(20, 50, [](int, int y) -> uint32_t {
    const uint32_t slots[] = {kNormalColor, kHotColor, kPushedColor, kDisabledColor, 0};
    return slots[y / 10];
  });
}

const char kTestLayout[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"standalone=\"yes\"?>\n"
    "<Window size=\"300,200\" caption=\"0,0,0,100\">\n"
    "  <Include source=\"fonts.xml\" />\n"
    "  <TabLayout name=\"tabs\">\n"
    "    <VerticalLayout name=\"page0\" bkcolor=\"#FF102030\">\n"
    "      <Button name=\"btn\" float=\"true\" pos=\"10,10,0,0\" width=\"20\"height=\"10\"\n"
    "        normalimage=\"file='image\\strip.bmp' source='0,0,20,10'\" "
    "hotimage=\"file='image\\strip.bmp' source='0,10,20,20'\"\n"
    "        pushedimage=\"file='image\\strip.bmp' source='0,20,20,30'\" "
    "disabledimage=\"file='image\\strip.bmp' source='0,30,20,40'\" />\n"
    "      <Button name=\"off\" float=\"true\" pos=\"40,10,0,0\" width=\"20\" height=\"10\" "
    "enabled=\"false\"\n"
    "        normalimage=\"file='image/STRIP.bmp' source='0,0,20,10'\" "
    "disabledimage=\"file='image\\strip.bmp' source='0,30,20,40'\" />\n"
    "      <Option name=\"check\" float=\"true\" pos=\"10,40,0,0\" width=\"15\" height=\"15\" "
    "text=\"\" font=\"1\"\n"
    "        textpadding=\"40,0,0,0\" selected=\"true\" "
    "text=\"\xE6\x88\x91\xE5\x90\x8C\xE6\x84\x8F\"\n"
    "        normalimage=\"image\\unchecked.bmp\" selectedimage=\"image\\checked.bmp\" />\n"
    "      <Option name=\"r1\" group=\"g\" float=\"true\" pos=\"100,40,0,0\" width=\"15\" "
    "height=\"15\" />\n"
    "      <Option name=\"r2\" group=\"g\" float=\"true\" pos=\"130,40,0,0\" width=\"15\" "
    "height=\"15\" selected=\"true\" />\n"
    "      <Edit name=\"edit\" float=\"true\" pos=\"10,120,0,0\" width=\"200\" height=\"24\" "
    "font=\"1\" tipvalue=\"hint text\"\n"
    "        tipvaluecolor=\"#00747474\" textcolor=\"#FF0000FF\" bkcolor=\"#FFFFFFFF\" "
    "nativebkcolor=\"#FFD9D9D9\" />\n"
    "      <Progress name=\"progress\" float=\"true\" pos=\"10,160,0,0\" width=\"100\" "
    "height=\"10\" min=\"0\" max=\"100\"\n"
    "        value=\"0\" foreimage=\"image\\fill.bmp\" />\n"
    "      <Label name=\"label\" float=\"true\" pos=\"120,160,0,0\" width=\"60\" height=\"20\" "
    "text=\"label\" unknown=\"x\" />\n"
    "      <RichEdit name=\"rich\" float=\"true\" pos=\"220,10,0,0\" width=\"70\" height=\"100\" "
    "vscrollbar=\"true\"\n"
    "        readonly=\"true\" bkcolor=\"#FFFFFFFF\" font=\"1\" text=\"@LONG@\" />\n"
    "    </VerticalLayout>\n"
    "    <VerticalLayout name=\"page1\" bkcolor=\"#FF000000\" />\n"
    "  </TabLayout>\n"
    "</Window>\n";

const char kHostLayout[] =
    "<Window size=\"300,200\" caption=\"0,0,0,100\">"
    "<TabLayout name=\"tab_control\"><VerticalLayout name=\"first\" bkcolor=\"#FFFFFFFF\"/>"
    "<VerticalLayout name=\"Container_x\"/></TabLayout></Window>";

const char kFonts[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><Window>"
    "<Font id=\"1\" name=\"Microsoft YaHei\" size=\"12\" bold=\"false\" default=\"true\"/>"
    "<Font id=\"2\" name=\"Microsoft YaHei\" size=\"20\" bold=\"true\"/></Window>";

const char kBadImageLayout[] =
    "<Window size=\"100,100\"><VerticalLayout name=\"root\" bkcolor=\"#FF102030\">"
    "<Button name=\"missing\" float=\"true\" pos=\"0,0,0,0\" width=\"10\" height=\"10\" "
    "normalimage=\"image\\none.bmp\"/>"
    "<Button name=\"deep\" float=\"true\" pos=\"20,0,0,0\" width=\"10\" height=\"10\" "
    "normalimage=\"image\\deep.bmp\"/>"
    "<Button name=\"short\" float=\"true\" pos=\"40,0,0,0\" width=\"10\" height=\"10\" "
    "normalimage=\"image\\short.bmp\"/>"
    "<Button name=\"crc\" float=\"true\" pos=\"60,0,0,0\" width=\"10\" height=\"10\" "
    "normalimage=\"image\\crc.bmp\"/>"
    "</VerticalLayout></Window>";

// Controls of every kind a screen reader meets, on two pages.
const char kAccessibleLayout[] =
    "<Window size=\"300,200\">"
    "<Include source=\"fonts.xml\" />"
    "<TabLayout name=\"tabs\">"
    "<VerticalLayout name=\"page0\" bkcolor=\"#FFFFFFFF\">"
    "<Button name=\"close\" float=\"true\" pos=\"270,5,0,0\" width=\"20\" height=\"10\" "
    "tooltip=\"\xE5\x85\xB3\xE9\x97\xAD\" tabindex=\"1\""
    "  normalimage=\"file='image\\strip.bmp' source='0,0,20,10'\" />"
    "<Label name=\"caption\" float=\"true\" pos=\"10,10,0,0\" width=\"50\" height=\"20\" "
    "text=\"\xE4\xBD\x8D\xE7\xBD\xAE:\" />"
    "<Label name=\"message\" float=\"true\" pos=\"10,100,0,0\" width=\"100\" height=\"20\" "
    "text=\"\" />"
    "<Edit name=\"path\" float=\"true\" pos=\"70,10,0,0\" width=\"200\" height=\"24\" "
    "tipvalue=\"C:\\hint\" />"
    "<Option name=\"agree\" float=\"true\" pos=\"10,40,0,0\" width=\"15\" height=\"15\" "
    "selected=\"true\""
    "  text=\"\xE5\x90\x8C\xE6\x84\x8F\" textpadding=\"40,0,0,0\" />"
    "<Option name=\"radio\" group=\"g\" float=\"true\" pos=\"100,40,0,0\" width=\"15\" "
    "height=\"15\" text=\"A\" />"
    "<Button name=\"go\" float=\"true\" pos=\"10,70,0,0\" width=\"80\" height=\"24\" "
    "text=\"\xE5\xAE\x89\xE8\xA3\x85\" />"
    "<Button name=\"gone\" float=\"true\" pos=\"100,70,0,0\" width=\"40\" height=\"24\" text=\"x\" "
    "enabled=\"false\" />"
    "<RichEdit name=\"terms\" float=\"true\" pos=\"150,40,0,0\" width=\"140\" height=\"60\" "
    "visible=\"false\""
    "  accessiblename=\"\xE5\x8D\x8F\xE8\xAE\xAE\" text=\"terms text\" />"
    "<Progress name=\"bar\" float=\"true\" pos=\"10,130,0,0\" width=\"200\" height=\"10\" "
    "min=\"0\" max=\"200\""
    "  value=\"50\" accessiblename=\"\xE8\xBF\x9B\xE5\xBA\xA6\" />"
    "<Label name=\"picture\" float=\"true\" pos=\"220,130,0,0\" width=\"40\" height=\"40\" "
    "bkimage=\"image\\fill.bmp\" />"
    "<Control name=\"spacer\" float=\"true\" pos=\"0,180,0,0\" width=\"10\" height=\"10\" />"
    "</VerticalLayout>"
    "<VerticalLayout name=\"page1\">"
    "<Button name=\"next\" float=\"true\" pos=\"10,10,0,0\" width=\"80\" height=\"24\" "
    "text=\"next\" />"
    "</VerticalLayout>"
    "</TabLayout></Window>";

std::string LongText() {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "line " + std::to_string(i) + " of the agreement&#10;";
  return text;
}

}  // namespace

void UseTestSkin() {
  static std::string package;
  if (package.empty()) {
    std::string layout = kTestLayout;
    layout.replace(layout.find("@LONG@"), 6, LongText());
    std::string fill = MakeBmp24(4, 4, [](int, int) -> uint32_t { return kFillColor; });
    std::string deep = fill;
    deep[28] = 32;  // claims 32 bits per pixel
    std::string shortBmp = fill.substr(0, fill.size() - 3);
    std::vector<ZipItem> items = {
        {"test.xml", layout, true},
        {"host.xml", kHostLayout, true},
        {"accessible.xml", kAccessibleLayout, true},
        {"fonts.xml", kFonts, true},
        {"broken.xml", "<Window size=\"10,10\"><VerticalLayout></Window>", true},
        {"bad_image.xml", kBadImageLayout, true},
        {"image/strip.bmp", Strip(), true},
        {"image/fill.bmp", fill, false},
        {"image/checked.bmp", MakeBmp24(15, 15, [](int, int) -> uint32_t { return kCheckedColor; }),
         true},
        {"image/unchecked.bmp",
         MakeBmp24(15, 15, [](int, int) -> uint32_t { return kUncheckedColor; }), true},
        {"image/deep.bmp", deep, true},
        {"image/short.bmp", shortBmp, true},
        {"image/crc.bmp", fill, false},
    };
    package = MakeZip(items);
    // Damage the stored content of crc.bmp (the last stored item): its
    // CRC no longer matches.
    size_t at = package.rfind(fill);
    package[at + 60] = static_cast<char>(package[at + 60] ^ 0x55);
  }
  DuiLib::CPaintManagerUI::SetInstance(::GetModuleHandleA(nullptr));
  DuiLib::CPaintManagerUI::SetResourceZip(&package[0], static_cast<unsigned int>(package.size()));
}

bool TestWindow::CreateAt(int x, int y, HWND owner) {
  return Create(owner, "TNUiTest", WS_POPUP | WS_CLIPCHILDREN, 0, x, y, 100, 100) != nullptr;
}

void TestWindow::Notify(DuiLib::TNotifyUI& msg) {
  notes.push_back(msg.sType.str() + ":" +
                  (msg.pSender ? msg.pSender->GetName().str() : std::string("(deleted)")));
  WindowImplBase::Notify(msg);
}

LRESULT TestWindow::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  ++closes;
  bHandled = FALSE;  // the default destroys the window
  return 0;
}

LRESULT TestWindow::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  if (uMsg == kProbeOwner) {
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    ownerEnabledDuringLoop = owner && ::IsWindowEnabled(owner) ? 1 : 0;
    Close(static_cast<UINT>(wParam));
    bHandled = TRUE;
  }
  return 0;
}

bool TestWindow::OnHandler(void* param) {
  auto* msg = static_cast<DuiLib::TNotifyUI*>(param);
  handled.push_back(msg->sType.str() + ":" + msg->pSender->GetName().str());
  return true;
}

void Click(HWND hwnd, int x, int y) {
  ::SendMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  ::SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  ::SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void MouseMove(HWND hwnd, int x, int y) { ::SendMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }

void PressKey(HWND hwnd, UINT vk, bool shift, bool repeat) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  ::SetKeyboardState(keys);
  // The key goes where the system focus is: the window or its open field.
  HWND target = ::GetFocus();
  if (!target || (target != hwnd && !::IsChild(hwnd, target))) target = hwnd;
  MSG msg = {};
  msg.hwnd = target;
  msg.message = WM_KEYDOWN;
  msg.wParam = vk;
  msg.lParam = 1 | (repeat ? (1 << 30) : 0);
  if (!DuiLib::CPaintManagerUI::TranslateMessage(&msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  keys[VK_SHIFT] = 0;
  ::SetKeyboardState(keys);
  PumpMessages();
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

Snapshot::Snapshot(DuiLib::CPaintManagerUI& manager) {
  RECT client;
  ::GetClientRect(manager.GetPaintWindow(), &client);
  width_ = client.right;
  height_ = client.bottom;
  tn::ScopedCreatedDC dc(::CreateCompatibleDC(nullptr));
  void* bits = nullptr;
  tn::ScopedBitmap bitmap = DuiLib::CreateTopDownBitmap(width_, height_, &bits);
  if (!dc || !bitmap) {
    width_ = height_ = 0;  // an empty snapshot: every pixel reads as missing
    return;
  }
  tn::ScopedSelectObject select(dc.Get(), bitmap.Get());
  manager.PaintTo(dc.Get(), client);
  ::GdiFlush();
  pixels_.assign(static_cast<const DWORD*>(bits),
                 static_cast<const DWORD*>(bits) + width_ * height_);
}

DWORD Snapshot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFFFFFFFF;
  return pixels_[static_cast<size_t>(y) * width_ + x] & 0xFFFFFF;
}

int Snapshot::Count(const RECT& rc, DWORD color, int tolerance) const {
  int count = 0;
  for (int y = rc.top; y < rc.bottom; ++y) {
    for (int x = rc.left; x < rc.right; ++x) {
      DWORD p = At(x, y);
      bool close_enough = true;
      for (int shift = 0; shift <= 16; shift += 8) {
        int a = static_cast<int>((p >> shift) & 0xFF),
            b = static_cast<int>((color >> shift) & 0xFF);
        if (a - b > tolerance || b - a > tolerance) close_enough = false;
      }
      if (close_enough) ++count;
    }
  }
  return count;
}

}  // namespace ui_test
