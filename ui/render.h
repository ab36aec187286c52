// Fonts, skin images and the drawing helpers the controls share.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dpi_scale.h"
#include "ui/ui_string.h"
#include "util/scoped_gdi.h"

namespace DuiLib {

class CPaintManagerUI;

// One font of a window's font table, which owns it and hands out the
// HFONT for drawing.
struct TFontInfo {
  tn::ScopedFont hFont;
  std::string sFontName;
  int iSize = 0;
  bool bBold = false;
  bool bUnderline = false;
  bool bItalic = false;
  int iHeight = 0;  // line height in pixels (TEXTMETRIC.tmHeight)
};

// A cached skin image; the cache owns the bitmap.
struct TImageInfo {
  HBITMAP hBitmap = nullptr;
  int nX = 0;
  int nY = 0;
};

// One image description: "image\x.bmp" or
// "file='image\x.bmp' source='l,t,r,b' dest='l,t,r,b'".
struct TDrawInfo {
  std::string sFile;
  RECT rcSource = {0, 0, 0, 0};
  bool bSource = false;
  RECT rcDest = {0, 0, 0, 0};
  bool bDest = false;
};

// False when the description names no file.
bool ParseImageDescription(LPCSTR text, TDrawInfo* info);
// "l,t,r,b" (missing numbers are 0); false when no number is present.
bool ParseRectValue(LPCSTR text, RECT* rc);

// The cached image at |path| in the skin, or null (missing or unreadable
// files are remembered as such until the cache is cleared).
const TImageInfo* LoadSkinImage(LPCSTR path);
void ClearSkinImages();

// Draws |description| into |rcItem| (or its dest part); the source part is
// clipped to the bitmap. False when the image cannot be loaded.
bool DrawImageDescription(HDC hDC, const RECT& rcItem, LPCSTR description);
// The same for a window at the DPI of |scale|. The dest part is a skin
// length and is scaled; the source part addresses the 100 % image and is
// mapped onto the variant chosen by ChooseSkinImage, so the slots of a state
// strip stay where they are at every scale. A variant part that does not
// match the destination's pixel size is resampled by area averaging (once;
// the result is cached). At 96 DPI this is exactly DrawImageDescription.
bool DrawImageDescription(HDC hDC, const RECT& rcItem, LPCSTR description, const CDpiScale& scale);

// The image that serves |path| at |percent|: the 100 % image up to 100 %,
// above it the variant of the smallest scale not below |percent|, else the
// largest variant there is, else the 100 % image. |variantPercent| is the
// scale the chosen file was drawn for. Null when not even the 100 % image
// loads.
const TImageInfo* ChooseSkinImage(LPCSTR path, int percent, int* variantPercent);

// Fills |rc| unless the alpha byte of |argb| is 0.
void FillColor(HDC hDC, const RECT& rc, DWORD argb);

// A 32-bit top-down DIB section of |width| x |height| pixels (0xAARRGGBB
// values) with its pixels at |*bits|; invalid, with |*bits| null, when the
// system cannot make it.
tn::ScopedBitmap CreateTopDownBitmap(int width, int height, void** bits);

// The metrics of |font| as the screen draws it (all zero when the screen
// cannot be asked).
TEXTMETRICA ScreenFontMetrics(HFONT font);

// UTF-8 to the installer's code page (GBK); characters without a GBK form
// become '?'.
std::string Utf8ToAnsi(const std::string& utf8);

// Number of bytes of the character starting at text[0] in GBK.
int AnsiCharLength(const char* text);

}  // namespace DuiLib
