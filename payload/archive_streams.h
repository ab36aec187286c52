// File streams handed to the archive library: the installer file as input,
// one output file per extracted item. Reads and writes reach the platform in
// pieces of at most 4 MiB; nothing is buffered here.
#pragma once

#include <windows.h>

#include <string>

#include "payload/sevenzip_interfaces.h"
#include "util/scoped_handle.h"

namespace tn {

// Largest single ReadFile/WriteFile.
constexpr UInt32 kMaxStreamChunk = 1u << 22;

// Converts a Win32 error (or an HRESULT already) to an HRESULT; 0 gives E_FAIL.
HRESULT HResultFromError(DWORD error);

class CInFileStream final : public IInStream,
                            public IStreamGetSize,
                            public IStreamGetProps,
                            public IStreamGetProps2,
                            public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_4(IInStream, IStreamGetSize, IStreamGetProps, IStreamGetProps2)
  Z7_IFACE_COM7_IMP(ISequentialInStream)
  Z7_IFACE_COM7_IMP(IInStream)
  Z7_IFACE_COM7_IMP(IStreamGetSize)
  Z7_IFACE_COM7_IMP(IStreamGetProps)
  Z7_IFACE_COM7_IMP(IStreamGetProps2)

 public:
  CInFileStream() = default;
  virtual ~CInFileStream() = default;

  // Opens an existing file for reading, sharing read access.
  // A missing file is not created. Returns false with GetLastError set.
  bool Open(const std::wstring& path);

 private:
  ScopedHandle file_;
  // Hard links are not examined: the link count is reported as 1.
  bool support_hard_links_ = false;
};

class COutFileStream final : public IOutStream, public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_1(IOutStream)
  Z7_IFACE_COM7_IMP(ISequentialOutStream)
  Z7_IFACE_COM7_IMP(IOutStream)

 public:
  COutFileStream() = default;
  virtual ~COutFileStream() = default;

  // Opens |path| for writing with |disposition| (extraction uses
  // CREATE_ALWAYS), sharing read access. Returns false with GetLastError set.
  bool Open(const std::wstring& path, DWORD disposition);
  // Sets only the last-write time of the open file.
  bool SetModificationTime(const FILETIME& time);
  // Closes the file; the HRESULT of a failed close, else S_OK.
  HRESULT Close();
  // Hands the open file over to the caller, who closes it.
  ScopedHandle DetachFile() { return std::move(file_); }
  UInt64 bytes_written() const { return bytes_written_; }

 private:
  ScopedHandle file_;
  UInt64 bytes_written_ = 0;
};

}  // namespace tn
