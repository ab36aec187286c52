// The archive library wrapper: loads the 7z library from the work directory,
// opens the installer file as a 7z archive and extracts every item.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "payload/archive_callbacks.h"
#include "payload/archive_password.h"
#include "payload/extract_result.h"
#include "util/scoped_handle.h"

namespace tn {

class CArchiveManager {
 public:
  // The process-wide instance, created on first use.
  static CArchiveManager* GetInstance();

  CArchiveManager() = default;
  CArchiveManager(const CArchiveManager&) = delete;
  CArchiveManager& operator=(const CArchiveManager&) = delete;

  // Stores |function| and enables progress reports. Returns 0.
  int SetProgressCallback(ExtractProgressFunction function);
  // Reports |percent| to the stored function, when there is one and progress
  // is enabled.
  void ReportProgress(int percent) const;
  void SetProgressEnabled(bool enabled) { progress_enabled_ = enabled; }

  // The full path of the library file (GBK), kept as UTF-16.
  void SetLibraryPath(const std::string& path);
  const std::wstring& library_path() const { return library_path_; }

  // The bytes the library file must hold. When set, the file is opened and
  // pinned with OpenVerifiedWorkFile before it is loaded, and a file that
  // differs is not loaded (-1). |data| must outlive the extraction (the
  // installer passes its own resource).
  void SetExpectedLibrary(const void* data, size_t size) {
    expected_library_ = data;
    expected_library_size_ = size;
  }

  // Loads the library, opens |archive_path| (GBK) as a 7z archive searching
  // from |start_offset| (used when > 0) over at most 8 MiB, and extracts all
  // items into |output_directory| (GBK) with |password| (empty: none). A run
  // in which any item failed (wrong password, damaged data, refused path, a
  // file that could not be replaced or written) is kFailed, after the others
  // were extracted. Progress below 100 is reported while extracting; the
  // result says whether the product arrived whole: kSucceeded only once
  // every file is closed and finished. The library is unloaded before
  // returning on every path.
  ExtractResult ExtractArchive(const std::string& archive_path, const std::string& output_directory,
                               int64_t start_offset, const std::string& password);

  // Items of the last ExtractArchive that did not extract cleanly.
  uint64_t last_item_errors() const { return last_item_errors_; }
  // Files of the last ExtractArchive that were closed off the library's
  // thread (all of them, unless the finisher's threads could not start).
  uint64_t last_files_finished_in_background() const { return last_files_finished_in_background_; }

  // Asks a running extraction to stop at its next progress or item call; its
  // result is then kFailed. Stays set until ClearStop.
  void RequestStop() { stop_ = true; }
  bool StopRequested() const { return stop_; }
  void ClearStop() { stop_ = false; }

  // Keeps the handle of the extraction worker so that it can be waited for.
  void SetWorker(ScopedHandle thread) { worker_ = std::move(thread); }
  // Waits at most |timeout_ms| for the worker to end. True when no worker
  // runs any more (or none was started).
  bool WaitForWorker(DWORD timeout_ms);

 private:
  struct Session;
  // The phases of ExtractArchive; each records what it made in |session|.
  ExtractResult LoadLibraryFile(Session* session);
  ExtractResult CreateHandler(Session* session);
  ExtractResult OpenArchive(Session* session, const std::string& archive_path,
                            int64_t start_offset);
  ExtractResult ExtractItems(Session* session, const std::string& output_directory,
                             const std::string& password);

  ExtractProgressFunction progress_function_;
  std::wstring library_path_;
  std::string library_path_ansi_;
  std::atomic<bool> progress_enabled_{false};
  std::atomic<bool> stop_{false};
  const void* expected_library_ = nullptr;
  size_t expected_library_size_ = 0;
  uint64_t last_item_errors_ = 0;
  uint64_t last_files_finished_in_background_ = 0;
  ScopedHandle worker_;
};

}  // namespace tn
