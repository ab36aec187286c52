#include "ui/render.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "ui/bitmap_reader.h"
#include "ui/image_resample.h"
#include "ui/ui_manager.h"
#include "ui/zip_reader.h"

namespace DuiLib {

namespace {

constexpr UINT kAnsiCodePage = 936;

// Resampled image parts are kept for repainting; a progress bar's fill
// makes a new one at every step, so the set is bounded.
constexpr size_t kMaxResampledParts = 64;

// A loaded image and the bitmap its description points at.
struct CachedImage {
  tn::ScopedBitmap bitmap;
  TImageInfo info;
};

struct ImageCache {
  std::map<std::string, std::unique_ptr<CachedImage>> images;  // null: could not load
  std::map<std::string, tn::ScopedBitmap> resampled;
  void ClearResampled() { resampled.clear(); }
  void Clear() {
    images.clear();
    ClearResampled();
  }
};

ImageCache& Cache() {
  static ImageCache cache;
  return cache;
}

// Reads name='value' pairs of an image description.
bool ReadPair(const char*& p, std::string* name, std::string* value) {
  while (*p == ' ' || *p == '\t') ++p;
  if (!*p) return false;
  const char* start = p;
  while (*p && *p != '=' && *p != ' ') ++p;
  name->assign(start, p - start);
  while (*p == ' ') ++p;
  if (*p != '=') return false;
  ++p;
  while (*p == ' ') ++p;
  char quote = (*p == '\'' || *p == '"') ? *p++ : ' ';
  start = p;
  while (*p && *p != quote) ++p;
  value->assign(start, p - start);
  if (*p) ++p;
  return true;
}

}  // namespace

bool ParseRectValue(LPCSTR text, RECT* rc) {
  *rc = RECT{0, 0, 0, 0};
  if (!text) return false;
  LONG* fields[4] = {&rc->left, &rc->top, &rc->right, &rc->bottom};
  const char* p = text;
  bool any = false;
  for (int i = 0; i < 4 && *p; ++i) {
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p) break;
    *fields[i] = v;
    any = true;
    p = end;
    while (*p == ' ') ++p;
    if (*p != ',') break;
    ++p;
  }
  return any;
}

bool ParseImageDescription(LPCSTR text, TDrawInfo* info) {
  *info = TDrawInfo();
  if (!text || !*text) return false;
  if (!std::strchr(text, '=') || !std::strchr(text, '\'')) {
    info->sFile = text;
    return true;
  }
  const char* p = text;
  std::string name, value;
  while (ReadPair(p, &name, &value)) {
    if (name == "file" || name == "res") {
      info->sFile = value;
    } else if (name == "source") {
      info->bSource = ParseRectValue(value.c_str(), &info->rcSource);
    } else if (name == "dest") {
      info->bDest = ParseRectValue(value.c_str(), &info->rcDest);
    }
  }
  return !info->sFile.empty();
}

const TImageInfo* LoadSkinImage(LPCSTR path) {
  if (!path || !*path) return nullptr;
  std::string key = ZipReader::NormalizeName(path);
  ImageCache& cache = Cache();
  auto found = cache.images.find(key);
  if (found != cache.images.end()) return found->second ? &found->second->info : nullptr;

  std::unique_ptr<CachedImage> image;
  std::string bytes;
  DecodedBitmap decoded;
  if (CPaintManagerUI::LoadSkinFile(path, &bytes) &&
      DecodeBmp24(bytes.data(), bytes.size(), &decoded)) {
    void* bits = nullptr;
    tn::ScopedBitmap bitmap = CreateTopDownBitmap(decoded.width, decoded.height, &bits);
    if (bitmap.IsValid()) {
      std::memcpy(bits, decoded.pixels.data(), decoded.pixels.size() * sizeof(uint32_t));
      image.reset(new CachedImage);
      image->info.hBitmap = bitmap.Get();
      image->info.nX = decoded.width;
      image->info.nY = decoded.height;
      image->bitmap = std::move(bitmap);
    }
  } else {
    std::string trace = "skin image not loaded: " + std::string(path) + "\n";
    ::OutputDebugStringA(trace.c_str());
  }
  const TImageInfo* result = image ? &image->info : nullptr;
  cache.images[key] = std::move(image);
  return result;
}

void ClearSkinImages() { Cache().Clear(); }

namespace {

RECT ClipToImage(const RECT& rc, const TImageInfo* image) {
  RECT src;
  src.left = std::max<LONG>(0, std::min<LONG>(rc.left, image->nX));
  src.top = std::max<LONG>(0, std::min<LONG>(rc.top, image->nY));
  src.right = std::max<LONG>(src.left, std::min<LONG>(rc.right, image->nX));
  src.bottom = std::max<LONG>(src.top, std::min<LONG>(rc.bottom, image->nY));
  return src;
}

// |src| of |image| resampled to |width| x |height|, or null.
HBITMAP ResampledPart(const std::string& file, const TImageInfo* image, const RECT& src, int width,
                      int height) {
  char key[64];
  std::snprintf(key, sizeof(key), "|%ld,%ld,%ld,%ld|%d,%d", src.left, src.top, src.right,
                src.bottom, width, height);
  ImageCache& cache = Cache();
  std::string name = file + key;
  auto found = cache.resampled.find(name);
  if (found != cache.resampled.end()) return found->second.Get();

  DIBSECTION section = {};
  if (::GetObjectA(image->hBitmap, sizeof(section), &section) != sizeof(section) ||
      !section.dsBm.bmBits)
    return nullptr;
  std::vector<uint32_t> pixels;
  PixelRect from;
  from.left = src.left;
  from.top = src.top;
  from.right = src.right;
  from.bottom = src.bottom;
  if (!ResamplePixels(static_cast<const uint32_t*>(section.dsBm.bmBits), image->nX, image->nY,
                      image->nX, from, width, height, &pixels))
    return nullptr;
  void* bits = nullptr;
  tn::ScopedBitmap bitmap = CreateTopDownBitmap(width, height, &bits);
  if (!bitmap.IsValid()) return nullptr;
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));
  if (cache.resampled.size() >= kMaxResampledParts) cache.ClearResampled();
  const HBITMAP result = bitmap.Get();
  cache.resampled[name] = std::move(bitmap);
  return result;
}

// |dest| (a rectangle inside the item, already in device pixels) placed in
// |rcItem| and cut off at its right and bottom edges.
RECT PlaceInItem(const RECT& rcItem, const RECT& dest) {
  RECT dst;
  dst.left = rcItem.left + dest.left;
  dst.top = rcItem.top + dest.top;
  dst.right = std::min<LONG>(rcItem.left + dest.right, rcItem.right);
  dst.bottom = std::min<LONG>(rcItem.top + dest.bottom, rcItem.bottom);
  return dst;
}

}  // namespace

const TImageInfo* ChooseSkinImage(LPCSTR path, int percent, int* variantPercent) {
  *variantPercent = 100;
  if (!path || !*path) return nullptr;
  if (percent > 100) {
    // Only the variant that is used gets loaded: the smallest one not below
    // |percent|, else the largest one below it.
    const int count =
        static_cast<int>(sizeof(kImageVariantPercents) / sizeof(kImageVariantPercents[0]));
    int first = 0;
    while (first < count && kImageVariantPercents[first] < percent) ++first;
    for (int i = first; i < count; ++i) {
      if (const TImageInfo* variant =
              LoadSkinImage(ImageVariantPath(path, kImageVariantPercents[i]).c_str())) {
        *variantPercent = kImageVariantPercents[i];
        return variant;
      }
    }
    for (int i = first - 1; i >= 0; --i) {
      if (const TImageInfo* variant =
              LoadSkinImage(ImageVariantPath(path, kImageVariantPercents[i]).c_str())) {
        *variantPercent = kImageVariantPercents[i];
        return variant;
      }
    }
  }
  return LoadSkinImage(path);
}

bool DrawImageDescription(HDC hDC, const RECT& rcItem, LPCSTR description, const CDpiScale& scale) {
  if (scale.IsDefault()) return DrawImageDescription(hDC, rcItem, description);
  TDrawInfo info;
  if (!ParseImageDescription(description, &info)) return false;
  int variantPercent = 100;
  const TImageInfo* image =
      ChooseSkinImage(info.sFile.c_str(), scale.GetPercent(), &variantPercent);
  if (!image) return false;

  RECT src = {0, 0, image->nX, image->nY};
  if (info.bSource) {
    RECT mapped = {ScaleLength(info.rcSource.left, variantPercent * kDefaultDpi / 100),
                   ScaleLength(info.rcSource.top, variantPercent * kDefaultDpi / 100),
                   ScaleLength(info.rcSource.right, variantPercent * kDefaultDpi / 100),
                   ScaleLength(info.rcSource.bottom, variantPercent * kDefaultDpi / 100)};
    src = ClipToImage(mapped, image);
  }
  RECT dst = info.bDest ? PlaceInItem(rcItem, scale.Scale(info.rcDest)) : rcItem;
  int sw = src.right - src.left, sh = src.bottom - src.top;
  int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return true;

  HBITMAP bitmap = image->hBitmap;
  POINT origin = {src.left, src.top};
  if (sw != dw || sh != dh) {
    std::string file = ImageVariantPath(ZipReader::NormalizeName(info.sFile), variantPercent);
    bitmap = ResampledPart(file, image, src, dw, dh);
    if (!bitmap) return false;
    origin = POINT{0, 0};
  }
  tn::ScopedCreatedDC memory(::CreateCompatibleDC(hDC));
  if (!memory.IsValid()) return false;
  tn::ScopedSelectObject select(memory.Get(), bitmap);
  ::BitBlt(hDC, dst.left, dst.top, dw, dh, memory.Get(), origin.x, origin.y, SRCCOPY);
  return true;
}

bool DrawImageDescription(HDC hDC, const RECT& rcItem, LPCSTR description) {
  TDrawInfo info;
  if (!ParseImageDescription(description, &info)) return false;
  const TImageInfo* image = LoadSkinImage(info.sFile.c_str());
  if (!image) return false;

  RECT src = info.bSource ? ClipToImage(info.rcSource, image) : RECT{0, 0, image->nX, image->nY};
  RECT dst = info.bDest ? PlaceInItem(rcItem, info.rcDest) : rcItem;
  int sw = src.right - src.left, sh = src.bottom - src.top;
  int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return true;

  tn::ScopedCreatedDC memory(::CreateCompatibleDC(hDC));
  if (!memory.IsValid()) return false;
  tn::ScopedSelectObject select(memory.Get(), image->hBitmap);
  if (sw == dw && sh == dh) {
    ::BitBlt(hDC, dst.left, dst.top, dw, dh, memory.Get(), src.left, src.top, SRCCOPY);
  } else {
    int oldMode = ::SetStretchBltMode(hDC, COLORONCOLOR);
    ::StretchBlt(hDC, dst.left, dst.top, dw, dh, memory.Get(), src.left, src.top, sw, sh, SRCCOPY);
    ::SetStretchBltMode(hDC, oldMode);
  }
  return true;
}

tn::ScopedBitmap CreateTopDownBitmap(int width, int height, void** bits) {
  *bits = nullptr;
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;  // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  tn::ScopedBitmap bitmap(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0));
  if (!*bits) bitmap.Reset();
  return bitmap;
}

TEXTMETRICA ScreenFontMetrics(HFONT font) {
  TEXTMETRICA tm = {};
  tn::ScopedGetDC screen(nullptr);
  tn::ScopedSelectObject select(screen.Get(), font);
  ::GetTextMetricsA(screen.Get(), &tm);
  return tm;
}

void FillColor(HDC hDC, const RECT& rc, DWORD argb) {
  if ((argb >> 24) == 0) return;
  COLORREF color = RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
  COLORREF old = ::SetBkColor(hDC, color);
  ::ExtTextOutA(hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
  ::SetBkColor(hDC, old);
}

std::string Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return std::string();
  int wide_len =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide_len <= 0) return std::string();
  std::vector<wchar_t> wide(static_cast<size_t>(wide_len));
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        wide_len);
  int ansi_len =
      ::WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  if (ansi_len <= 0) return std::string();
  std::string ansi(static_cast<size_t>(ansi_len), '\0');
  ::WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), wide_len, &ansi[0], ansi_len, nullptr,
                        nullptr);
  return ansi;
}

int AnsiCharLength(const char* text) {
  if (!text[0]) return 0;
  if (::IsDBCSLeadByteEx(kAnsiCodePage, static_cast<BYTE>(text[0])) && text[1]) return 2;
  return 1;
}

}  // namespace DuiLib
