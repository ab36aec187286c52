// The extraction worker: one thread that extracts the installer's payload
// into the install directory and reports to a window by posted messages
// (payload/install_messages.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "payload/extract_result.h"

// Prepares the archive library wrapper (library file |work_dir|\7zTmp.dll,
// checked against the executable's own "EXEDLL" 130 resource when it has
// one) and starts the worker. |window| receives WM_INSTALL_PROGRESS for every
// change of the whole percent below 100, then exactly one of: a final
// WM_INSTALL_PROGRESS 100 when the result is kSucceeded (every item
// extracted and finished), or one WM_EXTRACT_FAILED with the result (kFailed
// also when single items failed). A stop asked for by the shell posts
// nothing more. |archive_path| empty means the running executable. Returns
// false when the thread could not be started (nothing will be posted).
// The thread's handle is kept by CArchiveManager for WaitForWorker.
bool StartExtraction(HWND window, const std::string& work_dir, const std::string& install_dir,
                     const std::string& archive_path = std::string());

// Thread body; |parameter| is the request made by StartExtraction.
DWORD WINAPI ExtractionThread(LPVOID parameter);

// Posts WM_INSTALL_PROGRESS(percent) to |window|, the one given to
// StartExtraction.
void OnExtractProgress(HWND window, int percent);

// ExtractArchive with the product's archive password.
tn::ExtractResult ExtractPayload(const std::string& archive_path,
                                 const std::string& output_directory, int64_t start_offset);
