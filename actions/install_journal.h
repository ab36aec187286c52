// The record of what an installation changed on the machine before the new
// installation was complete, so that a failed, cancelled or interrupted
// installation can be undone and a finished one can let go of what it kept.
//
// Nothing of an earlier installation is deleted while the new one is being
// made: it is renamed aside, in its own folder (so on its own volume), to a
// backup name. Every change is written to the journal before it is made. At
// every moment either the earlier installation can be put back in its place
// or the new one is complete and registered:
//
//   StartInstall ── MoveAside ... ── created/filled ── extraction ──┬─ Commit  (backups deleted)
//                                                                  └─ RollBack (reverse order)
//
// An installer that was ended before Commit (killed, power lost) leaves the
// journal behind; the next start of an installer of the product finds it
// and finishes the job (RecoverInterruptedInstallation).
//
// The journal file, text in code page 936, one entry a line, fields
// separated by a tab:
//
//   tnsetup journal 1                      header
//   move      <original> <backup>          renamed aside (written before the rename)
//   created   <directory>                  made by this run with everything in it
//   filled    <directory>                  existed empty; everything in it is this run's
//   merge     <directory> <backup>         its earlier content renamed aside; what the new
//                                          installation does not bring is moved back on commit
//   unpinned  <program> <link name>        the program was unpinned from the taskbar
//   commit                                 the new installation is registered
//
// It lives in the common program files folder, which only administrators
// may write, because its entries name paths that an administrator's
// installer renames and removes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "util/keep_alive.h"
#include "util/scoped_handle.h"

class CInstallJournal {
 public:
  enum class Kind { kMove, kCreated, kFilled, kMerge, kUnpinned, kCommit };
  struct Entry {
    Kind kind;
    std::string first;
    std::string second;
  };
  enum class MoveResult { kMoved, kNothingThere, kFailed };

  // |path| empty: the default place, JournalPath().
  explicit CInstallJournal(std::string path = std::string());
  ~CInstallJournal();
  CInstallJournal(const CInstallJournal&) = delete;
  CInstallJournal& operator=(const CInstallJournal&) = delete;

  // "<common program files>\ZEVodirodaz\install.journal"; empty when the
  // folder cannot be resolved.
  static std::string JournalPath();

  // The suffix of every backup name, unique for this run (".~tnbak-" and
  // eight hexadecimal digits); no product file has a name ending in it.
  const std::string& BackupSuffix() const { return suffix_; }

  // Starts a fresh journal for one installation. Without a journal file
  // (its folder cannot be made) the entries are still kept in memory, so
  // that a failure in this run is undone; only a kill is not.
  void Begin();
  // True between Begin and the end of Commit or RollBack.
  bool IsActive() const { return active_; }
  bool IsCommitted() const { return committed_; }

  // Renames |path| (a file, a link or a directory) aside to a free backup
  // name in its own folder, journalled first. kNothingThere when nothing is
  // at |path|; kFailed when it is there and stays (in use, refused).
  MoveResult MoveAside(const std::string& path);
  // MoveAside for many paths, the journal written ahead a batch at a time;
  // |movable| decides from a path's attributes whether it is moved at all.
  // The files go into backup folders "<their folder>\<BackupSuffix>\<n>\"
  // instead of beside themselves. A folder whose every entry is one of the
  // paths, all files, goes aside whole instead and an empty folder with its
  // attributes takes its place, when |whole_folder| (empty: never) allows it
  // for that folder. |keep_alive| runs between entries.
  void MoveAsideEach(const std::vector<std::string>& paths,
                     const std::function<bool(DWORD attributes)>& movable,
                     const KeepAlive& keep_alive,
                     const std::function<bool(const std::string& folder)>& whole_folder = nullptr);

  // Makes |directory| (with its missing parents) for the new installation.
  // A directory already there with something in it is moved aside first and
  // its content merged back on Commit (where the new installation has
  // nothing of the name); an empty one is kept and only its content is this
  // run's. False when the directory cannot be made or the earlier content
  // cannot be moved aside; nothing is changed then.
  bool PrepareDirectory(const std::string& directory);

  // Records that |program| was unpinned from the taskbar under |link_name|:
  // a rollback pins it again.
  void RecordUnpinned(const std::string& program, const std::string& link_name);

  // The new installation is registered: journals the commit, then deletes
  // every backup on a thread of its own (WaitForCleanup) and the journal.
  // A backup that cannot be deleted now goes at the next restart.
  void Commit();
  // Undoes every entry in reverse order: what this run created is removed,
  // every backup renamed back. A backup that has gone missing is passed
  // over and the rest still restored. Removes the journal. |keep_alive|
  // runs between entries.
  void RollBack(const KeepAlive& keep_alive = KeepAlive());
  // Waits up to |timeout_ms| for the cleanup that Commit started; false when
  // it is still running (the journal then stays for the next start).
  bool WaitForCleanup(DWORD timeout_ms);

  // At start: plays back a journal that an ended installer left at |path|
  // (empty: JournalPath()): rolled back when it has no commit entry, its
  // backups deleted when it has. Returns false when there was none.
  static bool RecoverInterruptedInstallation(const std::string& path = std::string());

  // The entries of a journal file; empty when it is missing or not one.
  static std::vector<Entry> ReadJournal(const std::string& path);
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  bool Append(const std::vector<Entry>& entries, bool flush);
  std::string FreeBackupName(const std::string& path) const;
  void CloseAndDelete();

  std::string path_;
  std::string suffix_;
  tn::ScopedHandle file_;
  std::vector<Entry> entries_;
  bool active_ = false;
  bool committed_ = false;
  tn::ScopedHandle cleanup_;
};

// Undoes |entries| in reverse order (see CInstallJournal::RollBack).
void RollBackEntries(const std::vector<CInstallJournal::Entry>& entries,
                     const KeepAlive& keep_alive = KeepAlive());
// Deletes the backups of |entries| and merges what a merge entry kept;
// what cannot be deleted is scheduled for deletion at the next restart.
void CommitEntries(const std::vector<CInstallJournal::Entry>& entries);
