// Small uncopyable owners for GDI objects and device contexts.
//
// The two kinds of device context are released differently: one from
// CreateCompatibleDC is deleted (ScopedCreatedDC), one from GetDC is given
// back to its window (ScopedGetDC), and one from BeginPaint ends the paint
// (ScopedPaintDC). An object selected into a context must be selected out
// before it is deleted: declare the ScopedSelectObject after the owner of
// the object, so that it is destroyed first.
#pragma once

#include <windows.h>

#include "util/scoped_handle.h"

namespace tn {

// Pens, brushes, fonts, bitmaps and regions.
template <typename T>
struct GdiObjectTraits {
  static T Invalid() { return nullptr; }
  static bool IsValid(T object) { return object != nullptr; }
  static bool Close(T object) { return ::DeleteObject(object) != FALSE; }
};

using ScopedBitmap = ScopedGeneric<HBITMAP, GdiObjectTraits<HBITMAP>>;
using ScopedFont = ScopedGeneric<HFONT, GdiObjectTraits<HFONT>>;
using ScopedBrush = ScopedGeneric<HBRUSH, GdiObjectTraits<HBRUSH>>;
using ScopedPen = ScopedGeneric<HPEN, GdiObjectTraits<HPEN>>;
using ScopedRegion = ScopedGeneric<HRGN, GdiObjectTraits<HRGN>>;

// Device contexts of CreateCompatibleDC and CreateDC.
struct CreatedDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC dc) { return dc != nullptr; }
  static bool Close(HDC dc) { return ::DeleteDC(dc) != FALSE; }
};

using ScopedCreatedDC = ScopedGeneric<HDC, CreatedDcTraits>;

// The device context of |window| (of the screen for null) from GetDC, given
// back with ReleaseDC. Get() is null when GetDC failed.
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~ScopedGetDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// One WM_PAINT: BeginPaint now, EndPaint at the end of the scope (also when
// BeginPaint gave no context, as the window must be validated either way).
class ScopedPaintDC {
 public:
  explicit ScopedPaintDC(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
  ~ScopedPaintDC() { ::EndPaint(window_, &paint_); }
  ScopedPaintDC(const ScopedPaintDC&) = delete;
  ScopedPaintDC& operator=(const ScopedPaintDC&) = delete;

  HDC Get() const { return dc_; }
  // The part of the client area to paint.
  const RECT& PaintRect() const { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
  HDC dc_ = nullptr;
};

// Selects |object| into |dc| for a scope, then selects back what was there.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~ScopedSelectObject() {
    if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace tn
