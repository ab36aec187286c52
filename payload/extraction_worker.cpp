#include "payload/extraction_worker.h"

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

  auto request =
      std::make_unique<ExtractionRequest>(ExtractionRequest{window, install_dir, archive_path});
  DWORD thread_id = 0;
  tn::ScopedHandle thread(
      ::CreateThread(nullptr, 0, ExtractionThread, request.get(), 0, &thread_id));
  if (!thread) return false;
  request.release();  // owned by the thread now
  manager->SetWorker(std::move(thread));
  return true;
}

DWORD WINAPI ExtractionThread(LPVOID parameter) {
  std::unique_ptr<ExtractionRequest> request(static_cast<ExtractionRequest*>(parameter));
  tn::CArchiveManager* manager = tn::CArchiveManager::GetInstance();
  const HWND window = request->window;
  manager->SetProgressCallback([window](int percent) { OnExtractProgress(window, percent); });

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

  const tn::ExtractResult result = ExtractPayload(archive_path, request->install_dir, start_offset);
  if (result == tn::ExtractResult::kSucceeded) {
    // The installing page completes the installation on 100 (registration,
    // links, deleting the library file): it comes only for a product that
    // arrived whole, once every file is closed and the library unloaded.
    manager->ReportProgress(100);
  } else if (!manager->StopRequested()) {
    // A stop asked for by the shell is not a failure to show.
    ::PostMessageA(window, WM_EXTRACT_FAILED, ExtractResultParameter(result), 0);
  }
  return 0;
}

void OnExtractProgress(HWND window, int percent) {
  ::PostMessageA(window, WM_INSTALL_PROGRESS, static_cast<WPARAM>(percent), 0);
}

tn::ExtractResult ExtractPayload(const std::string& archive_path,
                                 const std::string& output_directory, int64_t start_offset) {
  return tn::CArchiveManager::GetInstance()->ExtractArchive(archive_path, output_directory,
                                                            start_offset, tn::kArchivePassword);
}
