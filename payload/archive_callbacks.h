// Callbacks handed to the archive library while it opens and extracts the
// product archive. All methods run inside IInArchive::Open / Extract.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "payload/archive_streams.h"
#include "payload/console_status.h"
#include "payload/extract_progress.h"
#include "payload/output_file_finisher.h"
#include "payload/sevenzip_interfaces.h"
#include "util/scoped_handle.h"

namespace tn {

// Receives whole percentages (0..100).
using ExtractProgressFunction = std::function<void(int percent)>;

// Creates |path| and every missing level above it. An existing directory
// counts as success; drive roots ("C:\", "\\?\C:\") are never created; a
// trailing separator is ignored. Fails when a file stands where a directory
// is needed.
bool CreateDirectoryTree(const std::wstring& path);

class CArchiveOpenCallback final : public IArchiveOpenCallback,
                                   public ICryptoGetTextPassword,
                                   public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_1(ICryptoGetTextPassword)
  Z7_IFACE_COM7_IMP(IArchiveOpenCallback)
  Z7_IFACE_COM7_IMP(ICryptoGetTextPassword)

 public:
  bool PasswordIsDefined = false;
  std::wstring Password;
};

class CArchiveExtractCallback final : public IArchiveExtractCallback,
                                      public ICryptoGetTextPassword,
                                      public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_1(ICryptoGetTextPassword)
  Z7_IFACE_COM7_IMP(IProgress)
  Z7_IFACE_COM7_IMP(IArchiveExtractCallback)
  Z7_IFACE_COM7_IMP(ICryptoGetTextPassword)

 public:
  CArchiveExtractCallback() = default;

  // Keeps a reference to |archive| and the output directory, which gets a
  // trailing "\" unless it is empty or already ends in a separator.
  void Init(IInArchive* archive, const std::wstring& output_directory);

  // Percentages below 100 go to |function| while |*enabled| is true; 100 is
  // never reported from here: only the caller knows, once Extract has
  // returned, whether every item arrived. When |*stop| turns true the next
  // progress or item call answers E_ABORT, which ends Extract. The
  // pointed-to flags must outlive the extraction.
  void SetProgressSink(ExtractProgressFunction function, const std::atomic<bool>* enabled,
                       const std::atomic<bool>* stop);

  // Waits until every extracted file is closed, timestamped and has its
  // attributes; a file whose close failed counts as a failed item. Call
  // after Extract, before reading error_count.
  void FinishPendingFiles();

  const std::wstring& output_directory() const { return output_directory_; }
  // Items that ended with a result other than success, including items that
  // were refused because their path would leave the output directory.
  UInt64 error_count() const { return error_count_; }
  // Files closed off the library's thread during this extraction.
  uint64_t files_finished_in_background() const;

  bool PasswordIsDefined = false;
  std::wstring Password;

 private:
  HRESULT ReadItemProperties(UInt32 index);
  // CreateDirectoryTree, asked once a folder per extraction.
  bool EnsureDirectory(const std::wstring& path);
  void Report(int percent);

  ComPtr<IInArchive> archive_;
  std::wstring output_directory_;
  std::wstring item_path_;
  std::wstring disk_path_;
  bool extract_mode_ = false;
  bool item_refused_ = false;

  FILETIME modification_time_ = {};
  UInt32 attributes_ = 0;
  bool is_directory_ = false;
  bool attributes_defined_ = false;
  bool time_defined_ = false;

  // Closing, timestamping and setting attributes of written files overlap
  // the decoding of the next ones.
  std::unique_ptr<OutputFileFinisher> finisher_;
  uint64_t finisher_failures_counted_ = 0;
  // Folders made or found during this extraction: each is asked for once,
  // not once for every file in it.
  std::unordered_set<std::wstring> known_directories_;

  // "Extracting  <path>" and the result of each item.
  ConsoleStatusBuffer status_;

  COutFileStream* output_stream_spec_ = nullptr;
  ComPtr<ISequentialOutStream> output_stream_;
  UInt64 error_count_ = 0;

  // SetTotal/SetCompleted may come from the library's decoder threads.
  std::mutex progress_lock_;
  ExtractProgress progress_;
  ExtractProgressFunction progress_function_;
  const std::atomic<bool>* progress_enabled_ = nullptr;
  const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace tn
