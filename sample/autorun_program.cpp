// The product's background program, started at log-on from the Startup
// folder. It has no window; it runs until the uninstaller (or the installer,
// which ends it by name) stops it. Only one instance runs per session.
#include <windows.h>

#include "sample/launch_record.h"
#include "sample/product_names.h"
#include "util/scoped_handle.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  tn::ScopedHandle instance(CreateMutexA(nullptr, FALSE, sample::kAutoRunInstanceMutex));
  const bool already_running = GetLastError() == ERROR_ALREADY_EXISTS;
  sample::AppendLaunchRecord("start", {{"instance", already_running ? "second" : "first"}});
  if (!instance || already_running) return 0;

  tn::ScopedHandle stop(CreateEventA(nullptr, TRUE, FALSE, sample::kAutoRunStopEvent));
  if (!stop) return 1;
  WaitForSingleObject(stop.Get(), INFINITE);
  sample::AppendLaunchRecord("stop");
  return 0;
}
