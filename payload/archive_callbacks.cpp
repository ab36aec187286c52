#include "payload/archive_callbacks.h"

#include "payload/console_status.h"
#include "payload/item_path.h"
#include "util/text_encoding.h"

namespace tn {
namespace {

// 7-Zip's NExtract::NAskMode and NOperationResult values.
constexpr Int32 kAskExtract = 0;
constexpr Int32 kAskTest = 1;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Length of the part of |path| that is never created: "C:\", "\\?\C:\",
// "\\server\share\", "\\?\UNC\server\share\". 0 for a relative path.
size_t RootLength(const std::wstring& path) {
  size_t i = 0;
  if (path.compare(0, 4, L"\\\\?\\") == 0) {
    i = 4;
    if (path.compare(i, 4, L"UNC\\") == 0) {
      i += 4;
    } else {
      if (path.size() >= i + 2 && path[i + 1] == L':') {
        i += 2;
        if (i < path.size() && IsSeparator(path[i])) ++i;
      }
      return i;
    }
  } else if (path.size() >= 2 && path[1] == L':') {
    i = 2;
    if (i < path.size() && IsSeparator(path[i])) ++i;
    return i;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    i = 2;
  } else {
    return 0;
  }
  // Server and share names.
  for (int part = 0; part < 2 && i < path.size(); ++part) {
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i < path.size()) ++i;
  }
  return i;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT CopyPassword(bool defined, const std::wstring& password, BSTR* out) {
  *out = nullptr;
  if (!defined) {
    WriteStatus("Error: \nPassword is not defined\n");
    return E_ABORT;
  }
  *out = ::SysAllocStringLen(password.data(), static_cast<UINT>(password.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The PROPVARIANT is cleared on every path out of the reading function.
class ScopedPropVariant {
 public:
  ScopedPropVariant() { ::PropVariantInit(&value_); }
  ~ScopedPropVariant() { ::PropVariantClear(&value_); }
  ScopedPropVariant(const ScopedPropVariant&) = delete;
  ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
  PROPVARIANT* Receive() {
    ::PropVariantClear(&value_);
    return &value_;
  }
  const PROPVARIANT& operator*() const { return value_; }

 private:
  PROPVARIANT value_;
};

}  // namespace

bool CreateDirectoryTree(const std::wstring& input) {
  std::wstring path = input;
  const size_t root = RootLength(path);
  while (path.size() > root && IsSeparator(path.back())) path.pop_back();
  if (path.empty()) return false;
  if (path.size() <= root) return IsDirectory(path);
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return IsDirectory(path);
  if (error != ERROR_PATH_NOT_FOUND) return false;
  const size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos || last < root) return false;
  if (!CreateDirectoryTree(path.substr(0, last))) return false;
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

Z7_COM7F_IMF(CArchiveOpenCallback::SetTotal(const UInt64*, const UInt64*)) { return S_OK; }

Z7_COM7F_IMF(CArchiveOpenCallback::SetCompleted(const UInt64*, const UInt64*)) { return S_OK; }

Z7_COM7F_IMF(CArchiveOpenCallback::CryptoGetTextPassword(BSTR* password)) {
  return CopyPassword(PasswordIsDefined, Password, password);
}

void CArchiveExtractCallback::Init(IInArchive* archive, const std::wstring& output_directory) {
  error_count_ = 0;
  finisher_.reset(new OutputFileFinisher());
  finisher_failures_counted_ = 0;
  known_directories_.clear();
  archive_ = archive;
  output_directory_ = output_directory;
  ::OutputDebugStringW((L"初始化时解压路径为" + output_directory_ + L"\n").c_str());
  if (!output_directory_.empty() && !IsSeparator(output_directory_.back())) {
    output_directory_ += L'\\';
  }
}

void CArchiveExtractCallback::SetProgressSink(ExtractProgressFunction function,
                                              const std::atomic<bool>* enabled,
                                              const std::atomic<bool>* stop) {
  std::lock_guard<std::mutex> hold(progress_lock_);
  progress_function_ = function;
  progress_enabled_ = enabled;
  stop_ = stop;
}

void CArchiveExtractCallback::FinishPendingFiles() {
  status_.Flush();
  if (!finisher_) return;
  finisher_->Drain();
  const uint64_t failed = finisher_->failed();
  error_count_ += failed - finisher_failures_counted_;
  finisher_failures_counted_ = failed;
}

uint64_t CArchiveExtractCallback::files_finished_in_background() const {
  return finisher_ ? finisher_->finished_by_workers() : 0;
}

bool CArchiveExtractCallback::EnsureDirectory(const std::wstring& path) {
  if (known_directories_.count(path)) return true;
  if (!CreateDirectoryTree(path)) return false;
  known_directories_.insert(path);
  return true;
}

void CArchiveExtractCallback::Report(int percent) {
  if (progress_function_) progress_function_(percent);
}

Z7_COM7F_IMF(CArchiveExtractCallback::SetTotal(UInt64 total)) {
  std::lock_guard<std::mutex> hold(progress_lock_);
  progress_.SetTotal(total);
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::SetCompleted(const UInt64* completed)) {
  std::lock_guard<std::mutex> hold(progress_lock_);
  if (stop_ && stop_->load()) return E_ABORT;
  if (!progress_enabled_ || !progress_enabled_->load() || !completed) return S_OK;
  uint32_t percent = 0;
  // 100 tells the installing page that the product is complete; it is held
  // back until Extract has returned without a failed item.
  if (progress_.Update(*completed, &percent) && percent < 100) Report(static_cast<int>(percent));
  return S_OK;
}

HRESULT CArchiveExtractCallback::ReadItemProperties(UInt32 index) {
  ScopedPropVariant value;
  HRESULT result = archive_->GetProperty(index, kpidAttrib, value.Receive());
  if (result != S_OK) return result;
  if ((*value).vt == VT_EMPTY) {
    attributes_ = 0;
    attributes_defined_ = false;
  } else if ((*value).vt == VT_UI4) {
    attributes_ = (*value).ulVal;
    attributes_defined_ = true;
  } else {
    return E_FAIL;
  }

  result = archive_->GetProperty(index, kpidIsDir, value.Receive());
  if (result != S_OK) return result;
  if ((*value).vt == VT_EMPTY) {
    is_directory_ = false;
  } else if ((*value).vt == VT_BOOL) {
    is_directory_ = (*value).boolVal != VARIANT_FALSE;
  } else {
    return E_FAIL;
  }

  result = archive_->GetProperty(index, kpidMTime, value.Receive());
  if (result != S_OK) return result;
  if ((*value).vt == VT_EMPTY) {
    time_defined_ = false;
  } else if ((*value).vt == VT_FILETIME) {
    modification_time_ = (*value).filetime;
    time_defined_ = true;
  } else {
    return E_FAIL;
  }

  // The size is read as the library expects, and not needed: the data
  // stream ends where the item ends.
  return archive_->GetProperty(index, kpidSize, value.Receive());
}

Z7_COM7F_IMF(CArchiveExtractCallback::GetStream(UInt32 index, ISequentialOutStream** out_stream,
                                                Int32 ask_extract_mode)) {
  *out_stream = nullptr;
  output_stream_.Reset();
  output_stream_spec_ = nullptr;
  item_refused_ = false;
  if (stop_ && stop_->load()) return E_ABORT;

  {
    ScopedPropVariant value;
    const HRESULT result = archive_->GetProperty(index, kpidPath, value.Receive());
    if (result != S_OK) return result;
    if ((*value).vt == VT_EMPTY) {
      item_path_ = L"[Content]";
    } else if ((*value).vt == VT_BSTR) {
      item_path_.assign((*value).bstrVal, ::SysStringLen((*value).bstrVal));
    } else {
      return E_FAIL;
    }
  }
  if (ask_extract_mode != kAskExtract) return S_OK;

  const HRESULT properties = ReadItemProperties(index);
  if (properties != S_OK) return properties;

  // The archive must not place anything outside the install directory.
  // Such an item is skipped and counted as failed; extraction goes on.
  if (!IsSafeItemPath(item_path_)) {
    item_refused_ = true;
    status_.Flush();
    PrintError("Item path leaves the output directory", item_path_);
    return S_OK;
  }

  // The item's folder, or the output directory itself for a top-level item,
  // so that extracting into a directory not yet made works as well.
  const size_t last_separator = item_path_.find_last_of(L"\\/");
  EnsureDirectory(last_separator == std::wstring::npos
                      ? output_directory_
                      : output_directory_ + item_path_.substr(0, last_separator));
  disk_path_ = output_directory_ + item_path_;
  // An earlier item of the same name may still be being closed.
  finisher_->WaitForPath(disk_path_);

  if (is_directory_) {
    EnsureDirectory(disk_path_);
    return S_OK;
  }

  COutFileStream* stream_spec = new COutFileStream;
  ComPtr<ISequentialOutStream> stream(stream_spec);
  // Usually nothing is there yet, and creating a new file finds that out on
  // the way; a separate look-up of the name first would cost one more trip
  // (under Wine a scan of the folder for a name of another case). Anything
  // in the way is deleted, then the file is created.
  if (!stream_spec->Open(disk_path_, CREATE_NEW)) {
    const DWORD existing = ::GetFileAttributesW(disk_path_.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
      if (existing & FILE_ATTRIBUTE_READONLY) {
        ::SetFileAttributesW(disk_path_.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
      }
      if (!::DeleteFileW(disk_path_.c_str())) {
        status_.Flush();
        PrintError("Can not delete output file", disk_path_);
        return E_ABORT;
      }
    }
    if (!stream_spec->Open(disk_path_, CREATE_ALWAYS)) {
      status_.Flush();
      PrintError("Can not open output file", disk_path_);
      return E_ABORT;
    }
  }
  output_stream_spec_ = stream_spec;
  output_stream_ = stream;
  // The library receives its own reference.
  *out_stream = stream.Get();
  (*out_stream)->AddRef();
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::PrepareOperation(Int32 ask_extract_mode)) {
  extract_mode_ = ask_extract_mode == kAskExtract && !item_refused_;
  const char* label = "Extracting  ";
  if (ask_extract_mode == kAskTest)
    label = "Testing     ";
  else if (ask_extract_mode != kAskExtract)
    label = "Skipping    ";
  status_.Append(label);
  status_.Append(WideToSystemAnsi(item_path_));
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::SetOperationResult(Int32 operation_result)) {
  if (operation_result != 0 || item_refused_) {
    ++error_count_;
  }
  if (operation_result != 0) {
    static const char* const kMessages[] = {"Unsupported Method",
                                            "Data Error",
                                            "CRC Failed",
                                            "Unavailable data",
                                            "Unexpected end of data",
                                            "There are some data after the end of the payload data",
                                            "Is not archive",
                                            "Headers Error"};
    status_.Append("  :  ");
    if (operation_result >= 1 && operation_result <= 8) {
      status_.Append(std::string("Error : ") + kMessages[operation_result - 1]);
    } else {
      status_.Append("Error #" + std::to_string(operation_result));
    }
  }

  // High bits carry Unix mode bits; only the Windows part is applied then.
  const bool apply_attributes = extract_mode_ && attributes_defined_;
  const UInt32 attributes = (attributes_ & 0xF0000000) ? (attributes_ & 0x3FFF) : attributes_;
  if (output_stream_) {
    FinishedFile file;
    file.file = output_stream_spec_->DetachFile();
    file.path = disk_path_;
    file.time_defined = time_defined_;
    file.modification_time = modification_time_;
    file.attributes_defined = apply_attributes;
    file.attributes = attributes;
    output_stream_.Reset();
    output_stream_spec_ = nullptr;
    // Time, close and attributes follow on the finisher's threads; a failed
    // close counts as a failed item (FinishPendingFiles).
    finisher_->Finish(std::move(file));
  } else if (apply_attributes) {
    ::SetFileAttributesW(disk_path_.c_str(), attributes);
  }
  item_refused_ = false;
  status_.Append("\n");
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::CryptoGetTextPassword(BSTR* password)) {
  status_.Flush();
  return CopyPassword(PasswordIsDefined, Password, password);
}

}  // namespace tn
