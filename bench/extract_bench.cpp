// Times the installer's extraction the way the installer runs it: the
// extraction worker started by StartExtraction, its progress messages
// flowing to a window on this thread, from the start to the last
// 100-percent message.
//
// usage: extract_bench.exe INSTALLER WORK_DIR OUT_DIR [MARKER]
//   WORK_DIR must hold 7zTmp.dll; MARKER defaults to the shipped "TN7zOffset".
// Prints "idle private_bytes=N", then after the run one line
//   "result code=C extract_ms=T messages=M last_percent=P private_bytes=N
//    peak_private_bytes=N sampled_peak_private_bytes=N item_errors=N"
// and exits with 0 when the extraction succeeded.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "config/ini_info_manager.h"
#include "payload/archive_manager.h"
#include "payload/extraction_worker.h"
#include "payload/install_messages.h"

namespace {

struct RunState {
  LARGE_INTEGER start = {};
  LARGE_INTEGER last_hundred = {};
  int messages = 0;
  int last_percent = -1;
  int failure = 0;
};

RunState g_state;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INSTALL_PROGRESS) {
    ++g_state.messages;
    g_state.last_percent = static_cast<int>(wparam);
    if (wparam == 100) QueryPerformanceCounter(&g_state.last_hundred);
    return 0;
  }
  if (message == WM_EXTRACT_FAILED) {
    g_state.failure = static_cast<int>(wparam);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

PROCESS_MEMORY_COUNTERS_EX MemoryCounters() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof(counters));
  return counters;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: extract_bench.exe INSTALLER WORK_DIR OUT_DIR [MARKER]\n");
    return 2;
  }
  const std::string installer = argv[1];
  const std::string work_dir = argv[2];
  const std::string out_dir = argv[3];
  CIniInfoManager::GetInstance()->AddIniData("OFFSET_FLAG", "flag",
                                             argc == 5 ? argv[4] : "TN7zOffset");

  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = ReceiverProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "TarnisExtractBench";
  RegisterClassA(&window_class);
  HWND receiver = CreateWindowA(window_class.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, window_class.hInstance, nullptr);
  if (!receiver) return 3;

  std::printf("idle private_bytes=%lu\n",
              static_cast<unsigned long>(MemoryCounters().PrivateUsage));
  std::fflush(stdout);
  // Lets an outside observer take its idle sample.
  Sleep(500);

  CreateDirectoryA(out_dir.c_str(), nullptr);
  QueryPerformanceCounter(&g_state.start);
  if (!StartExtraction(receiver, work_dir, out_dir, installer)) return 4;
  tn::CArchiveManager* manager = tn::CArchiveManager::GetInstance();
  // Wine does not keep the peak of the private bytes; sampling does.
  SIZE_T sampled_peak = 0;
  while (!manager->WaitForWorker(0)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpMessages();
    const SIZE_T now = MemoryCounters().PrivateUsage;
    if (now > sampled_peak) sampled_peak = now;
  }
  PumpMessages();

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const double extract_ms =
      g_state.last_hundred.QuadPart
          ? (g_state.last_hundred.QuadPart - g_state.start.QuadPart) * 1000.0 / frequency.QuadPart
          : -1.0;
  const PROCESS_MEMORY_COUNTERS_EX counters = MemoryCounters();
  std::printf(
      "result code=%d extract_ms=%.1f messages=%d last_percent=%d private_bytes=%lu "
      "peak_private_bytes=%lu sampled_peak_private_bytes=%lu item_errors=%llu\n",
      g_state.failure, extract_ms, g_state.messages, g_state.last_percent,
      static_cast<unsigned long>(counters.PrivateUsage),
      static_cast<unsigned long>(counters.PeakPagefileUsage),
      static_cast<unsigned long>(sampled_peak),
      static_cast<unsigned long long>(manager->last_item_errors()));
  std::fflush(stdout);
  DestroyWindow(receiver);
  return g_state.failure == 0 && g_state.last_percent == 100 ? 0 : 1;
}
