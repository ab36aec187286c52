#include "util/keep_alive.h"

#include <windows.h>

namespace {

constexpr DWORD kStepMs = 10;

}  // namespace

void PauseKeepingAlive(unsigned long milliseconds, const KeepAlive& keep_alive) {
  if (!keep_alive) {
    Sleep(milliseconds);
    return;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    keep_alive();
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    Sleep(milliseconds - elapsed < kStepMs ? milliseconds - elapsed : kStepMs);
  }
}
