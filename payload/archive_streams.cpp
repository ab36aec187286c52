#include "payload/archive_streams.h"

namespace tn {
namespace {

HRESULT LastErrorResult() { return HResultFromError(::GetLastError()); }

HRESULT SeekFile(HANDLE file, Int64 offset, UInt32 origin, UInt64* new_position) {
  if (origin > 2) return STG_E_INVALIDFUNCTION;
  static const DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  if (!::SetFilePointerEx(file, distance, &position, kMethods[origin])) return LastErrorResult();
  if (new_position) *new_position = static_cast<UInt64>(position.QuadPart);
  return S_OK;
}

}  // namespace

HRESULT HResultFromError(DWORD error) {
  if (error == 0) return E_FAIL;
  return HRESULT_FROM_WIN32(error);
}

bool CInFileStream::Open(const std::wstring& path) {
  // OPEN_EXISTING: reading must never leave an empty file behind.
  file_.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.IsValid();
}

Z7_COM7F_IMF(CInFileStream::Read(void* data, UInt32 size, UInt32* processed_size)) {
  if (processed_size) *processed_size = 0;
  if (!file_) return E_FAIL;
  const DWORD chunk = size > kMaxStreamChunk ? kMaxStreamChunk : size;
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file_.Get(), data, chunk, &read, nullptr);
  if (processed_size) *processed_size = read;
  return ok ? S_OK : LastErrorResult();
}

Z7_COM7F_IMF(CInFileStream::Seek(Int64 offset, UInt32 seek_origin, UInt64* new_position)) {
  if (!file_) return E_FAIL;
  return SeekFile(file_.Get(), offset, seek_origin, new_position);
}

Z7_COM7F_IMF(CInFileStream::GetSize(UInt64* size)) {
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(file_.Get(), &length)) return LastErrorResult();
  *size = static_cast<UInt64>(length.QuadPart);
  return S_OK;
}

Z7_COM7F_IMF(CInFileStream::GetProps(UInt64* size, FILETIME* creation_time, FILETIME* access_time,
                                     FILETIME* write_time, UInt32* attributes)) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file_.Get(), &info)) return LastErrorResult();
  if (size) *size = (static_cast<UInt64>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (creation_time) *creation_time = info.ftCreationTime;
  if (access_time) *access_time = info.ftLastAccessTime;
  if (write_time) *write_time = info.ftLastWriteTime;
  if (attributes) *attributes = info.dwFileAttributes;
  return S_OK;
}

Z7_COM7F_IMF(CInFileStream::GetProps2(CStreamFileProps* props)) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file_.Get(), &info)) return LastErrorResult();
  props->Size = (static_cast<UInt64>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  props->VolID = info.dwVolumeSerialNumber;
  props->FileID_Low = (static_cast<UInt64>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  props->FileID_High = 0;
  props->NumLinks = support_hard_links_ ? info.nNumberOfLinks : 1;
  props->Attrib = info.dwFileAttributes;
  props->CTime = info.ftCreationTime;
  props->ATime = info.ftLastAccessTime;
  props->MTime = info.ftLastWriteTime;
  return S_OK;
}

bool COutFileStream::Open(const std::wstring& path, DWORD disposition) {
  bytes_written_ = 0;
  file_.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.IsValid();
}

Z7_COM7F_IMF(COutFileStream::Write(const void* data, UInt32 size, UInt32* processed_size)) {
  if (processed_size) *processed_size = 0;
  if (!file_) return E_FAIL;
  const char* bytes = static_cast<const char*>(data);
  UInt32 done = 0;
  HRESULT result = S_OK;
  while (done < size) {
    const UInt32 left = size - done;
    const DWORD chunk = left > kMaxStreamChunk ? kMaxStreamChunk : left;
    DWORD written = 0;
    if (!::WriteFile(file_.Get(), bytes + done, chunk, &written, nullptr)) {
      result = LastErrorResult();
      break;
    }
    if (written == 0) break;
    done += written;
  }
  bytes_written_ += done;
  if (processed_size) *processed_size = done;
  return result;
}

Z7_COM7F_IMF(COutFileStream::Seek(Int64 offset, UInt32 seek_origin, UInt64* new_position)) {
  if (!file_) return E_FAIL;
  return SeekFile(file_.Get(), offset, seek_origin, new_position);
}

Z7_COM7F_IMF(COutFileStream::SetSize(UInt64 new_size)) {
  UInt64 position = 0;
  if (FAILED(SeekFile(file_.Get(), 0, 1, &position))) return E_FAIL;
  if (FAILED(SeekFile(file_.Get(), static_cast<Int64>(new_size), 0, nullptr))) return E_FAIL;
  const bool ended = ::SetEndOfFile(file_.Get()) != FALSE;
  const bool restored = SUCCEEDED(SeekFile(file_.Get(), static_cast<Int64>(position), 0, nullptr));
  return ended && restored ? S_OK : E_FAIL;
}

bool COutFileStream::SetModificationTime(const FILETIME& time) {
  return file_ && ::SetFileTime(file_.Get(), nullptr, nullptr, &time) != FALSE;
}

HRESULT COutFileStream::Close() {
  // Closed here rather than by the owner so that a failed close (data not
  // written) is reported to the library.
  if (!file_.Close()) return LastErrorResult();
  return S_OK;
}

}  // namespace tn
