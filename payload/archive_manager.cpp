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
  progress_function_ = function;
  progress_enabled_ = true;
  return 0;
}

void CArchiveManager::SetLibraryPath(const std::string& path) {
  library_path_ansi_ = path;
  library_path_ = AnsiPathToWide(path);
}

bool CArchiveManager::WaitForWorker(DWORD timeout_ms) {
  if (!worker_) return true;
  return ::WaitForSingleObject(worker_.Get(), timeout_ms) == WAIT_OBJECT_0;
}

int CArchiveManager::ExtractArchive(const std::string& archive_path,
                                    const std::string& output_directory, int64_t start_offset,
                                    const std::string& password) {
  const int result = LoadAndExtract(archive_path, output_directory, start_offset, password);
  // The installing page completes the installation on 100 (registration,
  // links, deleting the library file), so it comes only for a product that
  // arrived whole, and only once every file is closed and the library is
  // unloaded. This also covers a run whose counts never produced 100.
  if (result == kExtractSucceeded && progress_function_ && progress_enabled_) {
    progress_function_(100);
  }
  return result;
}

int CArchiveManager::LoadAndExtract(const std::string& archive_path,
                                    const std::string& output_directory, int64_t start_offset,
                                    const std::string& password) {
  last_item_errors_ = 0;
  last_files_finished_in_background_ = 0;
  const std::wstring library_path = library_path_;
  const std::string library_path_ansi = library_path_ansi_;
  ::Sleep(kPauseBeforeLoadMs);
  ::OutputDebugStringW((L"加载7z库,7z库文件地址为" + library_path + L"\n").c_str());

  // The work directory is writable by other users: the file is pinned
  // against replacement and compared with the installer's own copy before it
  // is loaded, and stays pinned until it is unloaded.
  ScopedHandle pinned_library;
  ScopedLibrary library;
  if (expected_library_) {
    pinned_library = OpenVerifiedWorkFile(library_path_ansi, expected_library_,
                                          expected_library_size_);
  }
  if (!expected_library_ || pinned_library) library.Reset(LoadArchiveLibrary(library_path));
  if (!library.IsValid()) {
    DWORD error = ::GetLastError();
    if (error == 0) error = ERROR_INVALID_DATA;
    char text[128];
    std::snprintf(text, sizeof(text), "加载7z库失败，错误码%d\n", static_cast<int>(error));
    ::OutputDebugStringA(text);
    PrintError("Can not load 7-zip library");
    return kExtractLoadLibraryFailed;
  }

  const auto create_object = library.GetProc<CreateObjectFunction>("CreateObject");
  if (!create_object) {
    ::OutputDebugStringA("获取7z库解压函数失败\n");
    PrintError("Can not get CreateObject");
    return kExtractNoCreateObject;
  }

  const std::wstring archive_path_wide = SystemAnsiToWide(archive_path);
  // Declared after |library| so that every object is released before the
  // library is unloaded.
  ComPtr<IInArchive> archive;
  if (create_object(&kSevenZipHandlerClassId, &IID_IInArchive, archive.ReceiveVoid()) != S_OK ||
      !archive) {
    ::OutputDebugStringA("获取7z库解压对象失败\n");
    PrintError("Can not get class object");
    return kExtractCreateObjectFailed;
  }

  CInFileStream* input_spec = new CInFileStream;
  ComPtr<IInStream> input(input_spec);
  if (!input_spec->Open(archive_path_wide)) {
    ::OutputDebugStringA("打开7z压缩包失败\n");
    PrintError("Can not open archive file", archive_path);
    return kExtractOpenFileFailed;
  }

  {
    CArchiveOpenCallback* open_spec = new CArchiveOpenCallback;
    ComPtr<IArchiveOpenCallback> open_callback(open_spec);
    open_spec->PasswordIsDefined = false;
    // The handler starts at the stream's position and searches forward.
    if (start_offset > 0) input->Seek(start_offset, 0 /* from the start */, nullptr);
    const UInt64 max_start_search = kArchiveStartSearch;
    if (archive->Open(input.Get(), &max_start_search, open_callback.Get()) != S_OK) {
      ::OutputDebugStringA("打开7z压缩包中文件失败\n");
      PrintError("Can not open file as archive", archive_path);
      return kExtractOpenArchiveFailed;
    }
  }

  CArchiveExtractCallback* extract_spec = new CArchiveExtractCallback;
  ComPtr<IArchiveExtractCallback> extract_callback(extract_spec);
  const std::wstring output_wide = AnsiPathToWide(output_directory);
  ::OutputDebugStringW((L"解压路径为" + output_wide + L"\n").c_str());
  extract_spec->Init(archive.Get(), output_wide);
  extract_spec->SetProgressSink(progress_function_, &progress_enabled_, &stop_);
  if (!password.empty()) {
    extract_spec->PasswordIsDefined = true;
    extract_spec->Password.clear();
    for (unsigned char byte : password) extract_spec->Password.push_back(static_cast<wchar_t>(byte));
  } else {
    extract_spec->PasswordIsDefined = false;
  }

  const HRESULT result =
      archive->Extract(nullptr, static_cast<UInt32>(-1), 0, extract_callback.Get());
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
    return kExtractFailed;
  }
  // A damaged, wrongly decrypted or refused item leaves the product
  // incomplete: that is a failed extraction, not a success.
  if (last_item_errors_ != 0) {
    char text[128];
    std::snprintf(text, sizeof(text), "解压失败，%lu个文件未能解压\n",
                  static_cast<unsigned long>(last_item_errors_));
    ::OutputDebugStringA(text);
    PrintError("Extract Error");
    return kExtractFailed;
  }
  return kExtractSucceeded;
}

}  // namespace tn
