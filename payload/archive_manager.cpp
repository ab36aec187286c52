#include "payload/archive_manager.h"

#include <cstdio>

#include "config/work_dir.h"
#include "payload/console_status.h"
#include "payload/trailer.h"
#include "util/text_encoding.h"

namespace tn {
namespace {

using CreateObjectFunction = HRESULT(WINAPI*)(const GUID* class_id, const GUID* interface_id,
                                              void** object);

constexpr DWORD kPauseBeforeLoadMs = 200;
constexpr UInt64 kArchiveStartSearch = kMaxStartSearch;

// Loads the library by its full path with its own imports taken from the
// system folder only, never from the (user-writable) work directory.
// Windows 7 without KB2533623 rejects the search flag with
// ERROR_INVALID_PARAMETER; there the altered search path is used, under which
// the library's imports (kernel32, msvcrt, oleaut32, user32) are all known
// system libraries that no folder can replace.
HMODULE LoadArchiveLibrary(const std::wstring& path) {
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return module;
}

}  // namespace

CArchiveManager* CArchiveManager::GetInstance() {
  // Function-local statics are initialised once, thread-safely.
  static CArchiveManager instance;
  return &instance;
}

int CArchiveManager::SetProgressCallback(ExtractProgressFunction function) {
  progress_function_ = std::move(function);
  progress_enabled_ = true;
  return 0;
}

void CArchiveManager::ReportProgress(int percent) const {
  if (progress_function_ && progress_enabled_) progress_function_(percent);
}

void CArchiveManager::SetLibraryPath(const std::string& path) {
  library_path_ansi_ = path;
  library_path_ = AnsiPathToWide(path);
}

bool CArchiveManager::WaitForWorker(DWORD timeout_ms) {
  if (!worker_) return true;
  return ::WaitForSingleObject(worker_.Get(), timeout_ms) == WAIT_OBJECT_0;
}

// What one ExtractArchive holds while it runs, released in reverse order of
// declaration: every object of the library goes before the library.
struct CArchiveManager::Session {
  // The work directory is writable by other users: the file is pinned
  // against replacement and compared with the installer's own copy before
  // it is loaded, and stays pinned until it is unloaded.
  ScopedHandle pinned_library;
  ScopedLibrary library;
  ComPtr<IInArchive> archive;
  ComPtr<IInStream> input;
};

ExtractResult CArchiveManager::ExtractArchive(const std::string& archive_path,
                                              const std::string& output_directory,
                                              int64_t start_offset, const std::string& password) {
  last_item_errors_ = 0;
  last_files_finished_in_background_ = 0;
  ::Sleep(kPauseBeforeLoadMs);
  ::OutputDebugStringW((L"加载7z库,7z库文件地址为" + library_path_ + L"\n").c_str());
  Session session;
  ExtractResult result = LoadLibraryFile(&session);
  if (result == ExtractResult::kSucceeded) result = CreateHandler(&session);
  if (result == ExtractResult::kSucceeded)
    result = OpenArchive(&session, archive_path, start_offset);
  if (result == ExtractResult::kSucceeded)
    result = ExtractItems(&session, output_directory, password);
  return result;
}

ExtractResult CArchiveManager::LoadLibraryFile(Session* session) {
  if (expected_library_) {
    session->pinned_library =
        OpenVerifiedWorkFile(library_path_ansi_, expected_library_, expected_library_size_);
  }
  if (!expected_library_ || session->pinned_library) {
    session->library.Reset(LoadArchiveLibrary(library_path_));
  }
  if (session->library.IsValid()) return ExtractResult::kSucceeded;
  DWORD error = ::GetLastError();
  if (error == 0) error = ERROR_INVALID_DATA;
  char text[128];
  std::snprintf(text, sizeof(text), "加载7z库失败，错误码%d\n", static_cast<int>(error));
  ::OutputDebugStringA(text);
  PrintError("Can not load 7-zip library");
  return ExtractResult::kLoadLibraryFailed;
}

ExtractResult CArchiveManager::CreateHandler(Session* session) {
  const auto create_object = session->library.GetProc<CreateObjectFunction>("CreateObject");
  if (!create_object) {
    ::OutputDebugStringA("获取7z库解压函数失败\n");
    PrintError("Can not get CreateObject");
    return ExtractResult::kNoCreateObject;
  }
  if (create_object(&kSevenZipHandlerClassId, &IID_IInArchive, session->archive.ReceiveVoid()) !=
          S_OK ||
      !session->archive) {
    ::OutputDebugStringA("获取7z库解压对象失败\n");
    PrintError("Can not get class object");
    return ExtractResult::kCreateObjectFailed;
  }
  return ExtractResult::kSucceeded;
}

ExtractResult CArchiveManager::OpenArchive(Session* session, const std::string& archive_path,
                                           int64_t start_offset) {
  CInFileStream* input_spec = new CInFileStream;
  session->input = ComPtr<IInStream>(input_spec);
  if (!input_spec->Open(SystemAnsiToWide(archive_path))) {
    ::OutputDebugStringA("打开7z压缩包失败\n");
    PrintError("Can not open archive file", archive_path);
    return ExtractResult::kOpenFileFailed;
  }
  CArchiveOpenCallback* open_spec = new CArchiveOpenCallback;
  ComPtr<IArchiveOpenCallback> open_callback(open_spec);
  open_spec->PasswordIsDefined = false;
  // The handler starts at the stream's position and searches forward.
  if (start_offset > 0) session->input->Seek(start_offset, 0 /* from the start */, nullptr);
  const UInt64 max_start_search = kArchiveStartSearch;
  if (session->archive->Open(session->input.Get(), &max_start_search, open_callback.Get()) !=
      S_OK) {
    ::OutputDebugStringA("打开7z压缩包中文件失败\n");
    PrintError("Can not open file as archive", archive_path);
    return ExtractResult::kOpenArchiveFailed;
  }
  return ExtractResult::kSucceeded;
}

ExtractResult CArchiveManager::ExtractItems(Session* session, const std::string& output_directory,
                                            const std::string& password) {
  CArchiveExtractCallback* extract_spec = new CArchiveExtractCallback;
  ComPtr<IArchiveExtractCallback> extract_callback(extract_spec);
  const std::wstring output_wide = AnsiPathToWide(output_directory);
  ::OutputDebugStringW((L"解压路径为" + output_wide + L"\n").c_str());
  extract_spec->Init(session->archive.Get(), output_wide);
  extract_spec->SetProgressSink(progress_function_, &progress_enabled_, &stop_);
  extract_spec->PasswordIsDefined = !password.empty();
  extract_spec->Password.clear();
  for (unsigned char byte : password) extract_spec->Password.push_back(static_cast<wchar_t>(byte));

  const HRESULT result =
      session->archive->Extract(nullptr, static_cast<UInt32>(-1), 0, extract_callback.Get());
  // Every file is closed, timestamped and has its attributes before the
  // result is decided.
  extract_spec->FinishPendingFiles();
  last_item_errors_ = extract_spec->error_count();
  last_files_finished_in_background_ = extract_spec->files_finished_in_background();
  if (result != S_OK) {
    char text[128];
    std::snprintf(text, sizeof(text), "解压失败，返回错误为%ld\n", static_cast<long>(result));
    ::OutputDebugStringA(text);
    PrintError("Extract Error");
    return ExtractResult::kFailed;
  }
  // A damaged, wrongly decrypted or refused item leaves the product
  // incomplete: that is a failed extraction, not a success.
  if (last_item_errors_ != 0) {
    char text[128];
    std::snprintf(text, sizeof(text), "解压失败，%lu个文件未能解压\n",
                  static_cast<unsigned long>(last_item_errors_));
    ::OutputDebugStringA(text);
    PrintError("Extract Error");
    return ExtractResult::kFailed;
  }
  return ExtractResult::kSucceeded;
}

}  // namespace tn
