// What an extraction came to. The one type that carries it from the archive
// library wrapper through the worker's message to the installing page, which
// alone maps it to the text the user reads.
#pragma once

namespace tn {

enum class ExtractResult : int {
  kSucceeded = 0,
  kLoadLibraryFailed = -1,   // library file missing, altered or not loadable
  kNoCreateObject = -2,      // library without the "CreateObject" export
  kCreateObjectFailed = -3,  // CreateObject refused the 7z handler
  kOpenFileFailed = -4,      // the archive file could not be opened
  kOpenArchiveFailed = -5,   // no 7z archive within reach, or headers unreadable
  kFailed = -6,              // Extract failed or was stopped, an item failed, or the
                             // installation could not begin
};

}  // namespace tn
