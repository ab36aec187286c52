// File and directory helpers.
#pragma once

#include <string>
#include <vector>

// True when |path| names a file that can be opened for reading; false for a
// missing file, one without access, or a directory.
bool FileExists(const std::string& path);

// True when |path| itself is a directory, as a find-first on the path
// reports it: a link is judged by its own attributes, not its target's.
bool IsExistingDirectory(const std::string& path);

// True when |path| is itself a reparse point: a junction or a symbolic link
// to a directory or a file.
bool IsReparsePoint(const std::string& path);

// Every link check of IsReparsePoint and RemoveDirectoryTree asks this hook
// for the attributes of a path, passing what the system reported. Wine keeps
// no reparse attribute on links, so tests use it to make the link cases;
// null restores the system's answer.
using EntryAttributesHook = unsigned long (*)(const std::string& path, unsigned long reported);
void SetEntryAttributesHookForTesting(EntryAttributesHook hook);

// True when a recursive delete at |path| is allowed: an absolute path that is
// not a drive root and not one of the system's well-known folders (Windows,
// System32/SysWOW64, the Program Files roots, the user profile root, the
// desktop and Start-menu roots). Resolves the folders on every call.
bool IsRemovableTreePath(const std::string& path);

// The same rule with the system's folders resolved once, for many paths in
// a row (resolving them takes milliseconds).
class ProtectedFolders {
 public:
  ProtectedFolders();
  bool AllowsTreeRemoval(const std::string& path) const;

 private:
  std::vector<std::string> folders_;
};

// Removes the directory |path| with everything below it, as far as possible
// (files in use stay). Read-only files are made writable first. A junction or
// symbolic link met inside is removed itself, never entered, and its target's
// attributes are left alone; if |path| itself is such a link, only the link
// is removed.
// Returns false, touching nothing, when the directory cannot be listed or the
// path is refused by IsRemovableTreePath; true otherwise.
bool RemoveDirectoryTree(const std::string& path);

// RemoveDirectoryTree for everything below |path|, keeping |path| itself.
// |path| may be a mount point or a link to a directory: what is below it
// goes, links met below it are removed without being entered. False,
// touching nothing, when it is refused or cannot be listed.
bool RemoveDirectoryContents(const std::string& path);
