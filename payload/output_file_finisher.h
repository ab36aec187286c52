// Finishes extracted files on a small pool of threads: sets the stored
// last-write time on the open file, closes it and applies the stored
// attributes (the archive flag alone, which a new file has already, is not
// set again). Each of these is a round trip to the kernel (under Wine to the
// Wine server, and on Windows closing is where virus scanners act), so doing
// them here lets the archive library's thread go on decoding the next item.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "util/scoped_handle.h"

namespace tn {

// One written file, handed over with its open handle.
struct FinishedFile {
  ScopedHandle file;
  std::wstring path;
  bool time_defined = false;
  FILETIME modification_time = {};
  bool attributes_defined = false;
  DWORD attributes = 0;
};

class OutputFileFinisher {
 public:
  // Starts |threads| workers; at most |max_pending| files wait for one
  // (each holds an open handle). With no worker started, files are finished
  // on the calling thread.
  explicit OutputFileFinisher(unsigned threads = 2, size_t max_pending = 64);
  // Finishes whatever is still pending, then ends the workers.
  ~OutputFileFinisher();
  OutputFileFinisher(const OutputFileFinisher&) = delete;
  OutputFileFinisher& operator=(const OutputFileFinisher&) = delete;

  // Takes |file| over. Returns at once unless max_pending files are waiting.
  void Finish(FinishedFile file);
  // Returns once no file with |path| (compared without regard to case) is
  // pending, so that the path can be replaced or reused.
  void WaitForPath(const std::wstring& path);
  // Returns once every file handed over so far is finished.
  void Drain();

  // Files whose close failed (their data may not have been written); the
  // time and attributes are best effort, as on the calling thread.
  uint64_t failed() const;
  // Files finished by a worker and on the calling thread, since construction.
  uint64_t finished_by_workers() const;
  uint64_t finished_inline() const;

 private:
  static DWORD WINAPI WorkerMain(LPVOID self);
  void RunWorker();
  // Sets the time, closes, sets the attributes; false when the close failed.
  static bool FinishNow(FinishedFile* file);
  bool IsPendingLocked(const std::wstring& path) const;

  // A slim lock and condition variables: under Wine they wait on futexes in
  // the process, where a mutex built on kernel events would add a trip to
  // the Wine server to every hand-over.
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE work_ready_ = CONDITION_VARIABLE_INIT;
  CONDITION_VARIABLE work_done_ = CONDITION_VARIABLE_INIT;
  std::vector<FinishedFile> queue_;  // oldest first
  std::vector<std::wstring> in_progress_;
  size_t max_pending_;
  bool stopping_ = false;
  uint64_t failed_ = 0;
  uint64_t finished_by_workers_ = 0;
  uint64_t finished_inline_ = 0;
  std::vector<ScopedHandle> workers_;
};

}  // namespace tn
