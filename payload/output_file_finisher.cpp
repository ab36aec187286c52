#include "payload/output_file_finisher.h"

#include <algorithm>
#include <utility>

namespace tn {
namespace {

// Holds the slim lock for a scope.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
  ~ExclusiveLock() { ::ReleaseSRWLockExclusive(lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK* lock_;
};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

OutputFileFinisher::OutputFileFinisher(unsigned threads, size_t max_pending)
    : max_pending_(max_pending == 0 ? 1 : max_pending) {
  for (unsigned i = 0; i < threads; ++i) {
    ScopedHandle thread(::CreateThread(nullptr, 64 * 1024, &OutputFileFinisher::WorkerMain, this,
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) break;
    workers_.push_back(std::move(thread));
  }
}

OutputFileFinisher::~OutputFileFinisher() {
  {
    ExclusiveLock hold(&lock_);
    stopping_ = true;
  }
  ::WakeAllConditionVariable(&work_ready_);
  // Workers finish the queue before they end.
  for (const ScopedHandle& thread : workers_) ::WaitForSingleObject(thread.Get(), INFINITE);
  for (FinishedFile& file : queue_) {
    if (!FinishNow(&file)) ++failed_;
  }
}

bool OutputFileFinisher::FinishNow(FinishedFile* file) {
  // The time is set through the handle, before the close: closing a file
  // that was written may itself update its last-write time.
  if (file->time_defined) {
    static_cast<void>(::SetFileTime(file->file.Get(), nullptr, nullptr, &file->modification_time));
  }
  // A file handed over without its handle counts as not written.
  const bool closed = file->file.IsValid() && file->file.Close();
  // A file just created and written carries the archive flag alone, as
  // most items ask: setting it again would open the file once more.
  if (file->attributes_defined && file->attributes != FILE_ATTRIBUTE_ARCHIVE) {
    // Best effort, as for a file finished inline.
    static_cast<void>(::SetFileAttributesW(file->path.c_str(), file->attributes));
  }
  return closed;
}

void OutputFileFinisher::Finish(FinishedFile file) {
  if (workers_.empty()) {
    const bool closed = FinishNow(&file);
    ExclusiveLock hold(&lock_);
    if (!closed) ++failed_;
    ++finished_inline_;
    return;
  }
  {
    ExclusiveLock hold(&lock_);
    while (queue_.size() >= max_pending_) {
      ::SleepConditionVariableSRW(&work_done_, &lock_, INFINITE, 0);
    }
    queue_.push_back(std::move(file));
  }
  ::WakeConditionVariable(&work_ready_);
}

bool OutputFileFinisher::IsPendingLocked(const std::wstring& path) const {
  for (const FinishedFile& file : queue_) {
    if (SamePath(file.path, path)) return true;
  }
  for (const std::wstring& busy : in_progress_) {
    if (SamePath(busy, path)) return true;
  }
  return false;
}

void OutputFileFinisher::WaitForPath(const std::wstring& path) {
  ExclusiveLock hold(&lock_);
  while (IsPendingLocked(path)) ::SleepConditionVariableSRW(&work_done_, &lock_, INFINITE, 0);
}

void OutputFileFinisher::Drain() {
  ExclusiveLock hold(&lock_);
  while (!queue_.empty() || !in_progress_.empty()) {
    ::SleepConditionVariableSRW(&work_done_, &lock_, INFINITE, 0);
  }
}

uint64_t OutputFileFinisher::failed() const {
  ExclusiveLock hold(&lock_);
  return failed_;
}

uint64_t OutputFileFinisher::finished_by_workers() const {
  ExclusiveLock hold(&lock_);
  return finished_by_workers_;
}

uint64_t OutputFileFinisher::finished_inline() const {
  ExclusiveLock hold(&lock_);
  return finished_inline_;
}

DWORD WINAPI OutputFileFinisher::WorkerMain(LPVOID self) {
  static_cast<OutputFileFinisher*>(self)->RunWorker();
  return 0;
}

void OutputFileFinisher::RunWorker() {
  ExclusiveLock hold(&lock_);
  for (;;) {
    while (queue_.empty() && !stopping_) {
      ::SleepConditionVariableSRW(&work_ready_, &lock_, INFINITE, 0);
    }
    if (queue_.empty()) return;  // stopping, nothing left
    FinishedFile file = std::move(queue_.front());
    queue_.erase(queue_.begin());
    in_progress_.push_back(file.path);

    ::ReleaseSRWLockExclusive(&lock_);
    const bool closed = FinishNow(&file);
    ::AcquireSRWLockExclusive(&lock_);

    in_progress_.erase(std::find(in_progress_.begin(), in_progress_.end(), file.path));
    if (!closed) ++failed_;
    ++finished_by_workers_;
    ::WakeAllConditionVariable(&work_done_);
  }
}

}  // namespace tn
