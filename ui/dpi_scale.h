// Scaling of skin lengths to the DPI of the window's monitor.
//
// Skin files give every length (positions, sizes, paddings, the caption
// area, font heights, image destinations) in pixels at 96 DPI. The framework
// keeps those numbers as read and turns them into device pixels only where
// it places, paints or hit-tests, always through CDpiScale, so that one
// rounding rule holds everywhere: length * dpi / 96 rounded to the nearest
// pixel, halves away from zero (610 at 120 DPI is 762.5, so 763).
#pragma once

#include <windows.h>

#include <string>

namespace DuiLib {

constexpr int kDefaultDpi = 96;
// DPI values outside this range are taken as 96 (a broken registry value
// or message must not make the window vanish or explode).
constexpr int kMinDpi = 48;
constexpr int kMaxDpi = 960;

// |length| (a skin length at 96 DPI) in device pixels at |dpi|.
int ScaleLength(int length, int dpi);

class CDpiScale {
 public:
  explicit CDpiScale(int dpi = kDefaultDpi) { SetDpi(dpi); }

  int GetDpi() const { return m_dpi; }
  // Out-of-range values become 96.
  void SetDpi(int dpi);
  // The scale in percent, rounded (120 DPI is 125).
  int GetPercent() const { return ScaleLength(100, m_dpi); }
  bool IsDefault() const { return m_dpi == kDefaultDpi; }

  int Scale(int length) const { return ScaleLength(length, m_dpi); }
  SIZE Scale(SIZE size) const { return SIZE{Scale(size.cx), Scale(size.cy)}; }
  POINT Scale(POINT pt) const { return POINT{Scale(pt.x), Scale(pt.y)}; }
  // Each edge is a length of its own (paddings, insets, caption margins).
  RECT Scale(const RECT& rc) const {
    return RECT{Scale(rc.left), Scale(rc.top), Scale(rc.right), Scale(rc.bottom)};
  }

 private:
  int m_dpi = kDefaultDpi;
};

// The DPI of the monitor that |hwnd| is on (of the system when |hwnd| is
// null), asked with the newest function the running system offers:
// GetDpiForWindow (Windows 10 1607), GetDpiForMonitor (Windows 8.1), else
// the screen's LOGPIXELSX (Windows 7). 96 when nothing answers sensibly.
int QueryWindowDpi(HWND hwnd);

// Skin images exist at 100 % ("image\x.bmp") and may have variants drawn
// for higher scales beside them: "image\x@2x.bmp" (200 %) and
// "image\x@1.5x.bmp" (150 %). The variant file name for |percent| (150 or
// 200), or |path| itself for any other percent.
std::string ImageVariantPath(const std::string& path, int percent);
// The percents for which variants may exist, ascending.
constexpr int kImageVariantPercents[] = {150, 200};

}  // namespace DuiLib
