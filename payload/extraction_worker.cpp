#include "payload/extraction_worker.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "config/work_dir.h"
#include "payload/archive_manager.h"
#include "payload/install_messages.h"
#include "payload/payload_locator.h"

namespace {

struct ExtractionRequest {
  HWND window;
  std::string install_dir;
  std::string archive_path;  // empty: the running executable
};

std::atomic<HWND> g_progress_window{nullptr};

}  // namespace

bool StartExtraction(HWND window, const std::string& work_dir, const std::string& install_dir,
                     const std::string& archive_path) {
  tn::CArchiveManager* manager = tn::CArchiveManager::GetInstance();
  const std::string library_path = work_dir + "\\" + kArchiveLibraryFileName;
  manager->SetLibraryPath(library_path);
  manager->SetProgressEnabled(false);
  manager->ClearStop();
  const void* library_bytes = nullptr;
  DWORD library_size = 0;
  if (LoadResourceBytes(nullptr, kArchiveLibraryResourceId, kArchiveLibraryResourceType,
                        &library_bytes, &library_size)) {
    manager->SetExpectedLibrary(library_bytes, library_size);
  }
  char text[MAX_PATH] = {};
  std::snprintf(text, sizeof(text), "开始释放解压文件，7z库文件地址为%s\n", library_path.c_str());
  ::OutputDebugStringA(text);

  g_progress_window = window;
  auto request = std::make_unique<ExtractionRequest>(
      ExtractionRequest{window, install_dir, archive_path});
  DWORD thread_id = 0;
  tn::ScopedHandle thread(::CreateThread(nullptr, 0, ExtractionThread, request.get(), 0, &thread_id));
  if (!thread) return false;
  request.release();  // owned by the thread now
  manager->SetWorker(std::move(thread));
  return true;
}

DWORD WINAPI ExtractionThread(LPVOID parameter) {
  std::unique_ptr<ExtractionRequest> request(static_cast<ExtractionRequest*>(parameter));
  tn::CArchiveManager* manager = tn::CArchiveManager::GetInstance();
  manager->SetProgressCallback(OnExtractProgress);

  std::string archive_path = request->archive_path;
  int64_t start_offset = 0;
  if (archive_path.empty()) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    archive_path = path;
    FindPayloadOffset(&start_offset);
  } else {
    start_offset = tn::FindPayloadOffsetInFile(archive_path, tn::ReadPayloadMarker());
  }

  const int code = ExtractPayload(archive_path, request->install_dir, start_offset);
  // A stop asked for by the shell is not a failure to show.
  if (code != 0 && !manager->StopRequested()) {
    ::PostMessageA(request->window, WM_EXTRACT_FAILED, static_cast<WPARAM>(code), 0);
  }
  return 0;
}

void OnExtractProgress(int percent) {
  ::PostMessageA(g_progress_window.load(), WM_INSTALL_PROGRESS, static_cast<WPARAM>(percent), 0);
}

int ExtractPayload(const std::string& archive_path, const std::string& output_directory,
                   int64_t start_offset) {
  return tn::CArchiveManager::GetInstance()->ExtractArchive(archive_path, output_directory,
                                                            start_offset, tn::kArchivePassword);
}
