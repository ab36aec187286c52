// Private window messages that the installer's worker threads post to the
// installing page.
#pragma once

#include <windows.h>

#include "payload/extract_result.h"

// wParam: extraction progress in whole percent, 0..100; lParam: 0.
constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 565;  // 1589
// wParam: none; lParam: 0. The hypervisor's silent setup has ended.
constexpr UINT WM_HYPERVISOR_INSTALLED = WM_USER + 566;  // 1590
// wParam: the extraction's result (tn::ExtractResult, a negative 32-bit
// value); lParam: 0.
constexpr UINT WM_EXTRACT_FAILED = WM_USER + 567;  // 1591

// WM_EXTRACT_FAILED's wParam for |result|, and the result it carries.
inline WPARAM ExtractResultParameter(tn::ExtractResult result) {
  return static_cast<WPARAM>(static_cast<INT_PTR>(result));
}
inline tn::ExtractResult ExtractResultOfParameter(WPARAM parameter) {
  return static_cast<tn::ExtractResult>(static_cast<int>(static_cast<INT_PTR>(parameter)));
}

static_assert(WM_INSTALL_PROGRESS == 1589 && WM_HYPERVISOR_INSTALLED == 1590 &&
                  WM_EXTRACT_FAILED == 1591,
              "message numbers are shared with the installing page");
