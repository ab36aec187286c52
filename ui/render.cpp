#include "ui/render.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "ui/bitmap_reader.h"
#include "ui/ui_manager.h"
#include "ui/zip_reader.h"

namespace DuiLib {

namespace {

constexpr UINT kAnsiCodePage = 936;

struct ImageCache {
  std::map<std::string, std::unique_ptr<TImageInfo>> images;  // null: could not load
  ~ImageCache() { Clear(); }
  void Clear() {
    for (auto& entry : images) {
      if (entry.second && entry.second->hBitmap) ::DeleteObject(entry.second->hBitmap);
    }
    images.clear();
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
  if (found != cache.images.end()) return found->second.get();

  std::unique_ptr<TImageInfo> image;
  std::string bytes;
  DecodedBitmap decoded;
  if (CPaintManagerUI::LoadSkinFile(path, &bytes) && DecodeBmp24(bytes.data(), bytes.size(), &decoded)) {
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = decoded.width;
    bmi.bmiHeader.biHeight = -decoded.height;  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
      std::memcpy(bits, decoded.pixels.data(), decoded.pixels.size() * sizeof(uint32_t));
      image.reset(new TImageInfo);
      image->hBitmap = bitmap;
      image->nX = decoded.width;
      image->nY = decoded.height;
    } else if (bitmap) {
      ::DeleteObject(bitmap);
    }
  } else {
    std::string trace = "skin image not loaded: " + std::string(path) + "\n";
    ::OutputDebugStringA(trace.c_str());
  }
  const TImageInfo* result = image.get();
  cache.images[key] = std::move(image);
  return result;
}

void ClearSkinImages() { Cache().Clear(); }

bool DrawImageDescription(HDC hDC, const RECT& rcItem, LPCSTR description) {
  TDrawInfo info;
  if (!ParseImageDescription(description, &info)) return false;
  const TImageInfo* image = LoadSkinImage(info.sFile.c_str());
  if (!image) return false;

  RECT src = {0, 0, image->nX, image->nY};
  if (info.bSource) {
    src.left = std::max<LONG>(0, std::min<LONG>(info.rcSource.left, image->nX));
    src.top = std::max<LONG>(0, std::min<LONG>(info.rcSource.top, image->nY));
    src.right = std::max<LONG>(src.left, std::min<LONG>(info.rcSource.right, image->nX));
    src.bottom = std::max<LONG>(src.top, std::min<LONG>(info.rcSource.bottom, image->nY));
  }
  RECT dst = rcItem;
  if (info.bDest) {
    dst.left = rcItem.left + info.rcDest.left;
    dst.top = rcItem.top + info.rcDest.top;
    dst.right = std::min<LONG>(rcItem.left + info.rcDest.right, rcItem.right);
    dst.bottom = std::min<LONG>(rcItem.top + info.rcDest.bottom, rcItem.bottom);
  }
  int sw = src.right - src.left, sh = src.bottom - src.top;
  int dw = dst.right - dst.left, dh = dst.bottom - dst.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return true;

  HDC memory = ::CreateCompatibleDC(hDC);
  if (!memory) return false;
  HGDIOBJ old = ::SelectObject(memory, image->hBitmap);
  if (sw == dw && sh == dh) {
    ::BitBlt(hDC, dst.left, dst.top, dw, dh, memory, src.left, src.top, SRCCOPY);
  } else {
    int oldMode = ::SetStretchBltMode(hDC, COLORONCOLOR);
    ::StretchBlt(hDC, dst.left, dst.top, dw, dh, memory, src.left, src.top, sw, sh, SRCCOPY);
    ::SetStretchBltMode(hDC, oldMode);
  }
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  return true;
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
  int wide_len = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide_len <= 0) return std::string();
  std::vector<wchar_t> wide(static_cast<size_t>(wide_len));
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wide_len);
  int ansi_len = ::WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  if (ansi_len <= 0) return std::string();
  std::string ansi(static_cast<size_t>(ansi_len), '\0');
  ::WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), wide_len, &ansi[0], ansi_len, nullptr, nullptr);
  return ansi;
}

int AnsiCharLength(const char* text) {
  if (!text[0]) return 0;
  if (::IsDBCSLeadByteEx(kAnsiCodePage, static_cast<BYTE>(text[0])) && text[1]) return 2;
  return 1;
}

}  // namespace DuiLib
