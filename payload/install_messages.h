// Private window messages that the installer's worker threads post to the
// installing page.
#pragma once

#include <windows.h>

// wParam: extraction progress in whole percent, 0..100; lParam: 0.
constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 565;  // 1589
// wParam: none; lParam: 0. The hypervisor's silent setup has ended.
constexpr UINT WM_HYPERVISOR_INSTALLED = WM_USER + 566;  // 1590
// wParam: extraction result code, a negative 32-bit value (-1..-6); lParam: 0.
constexpr UINT WM_EXTRACT_FAILED = WM_USER + 567;  // 1591

static_assert(WM_INSTALL_PROGRESS == 1589 && WM_HYPERVISOR_INSTALLED == 1590 &&
                  WM_EXTRACT_FAILED == 1591,
              "message numbers are shared with the installing page");
