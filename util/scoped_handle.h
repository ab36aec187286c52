// Small uncopyable owners for Win32 handles, keys, libraries, COM pointers
// and BSTRs. GDI objects and device contexts: util/scoped_gdi.h.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <utility>

namespace tn {

// Traits decide what "no handle" is and how a handle is released; Close
// reports whether the release succeeded.
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return ::CloseHandle(h) != FALSE; }
};

struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return ::FindClose(h) != FALSE; }
};

struct BstrTraits {
  static BSTR Invalid() { return nullptr; }
  static bool IsValid(BSTR text) { return text != nullptr; }
  static bool Close(BSTR text) {
    ::SysFreeString(text);
    return true;
  }
};

template <typename T, typename Traits>
class ScopedGeneric {
 public:
  ScopedGeneric() : value_(Traits::Invalid()) {}
  explicit ScopedGeneric(T value) : value_(value) {}
  ~ScopedGeneric() { Reset(); }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ScopedGeneric(ScopedGeneric&& other) noexcept : value_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return IsValid(); }
  T Get() const { return value_; }
  // For functions that hand out a new value through an out-parameter;
  // releases the old one.
  T* Receive() {
    Reset();
    return &value_;
  }
  // Releases the value (a failed release goes unreported: use Close to
  // learn of it) and takes |value|.
  void Reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) static_cast<void>(Traits::Close(value_));
    value_ = value;
  }
  // Releases the value now and says whether that worked; for a file
  // handle, a failed close can mean that written data did not reach the
  // disk (GetLastError has the reason). The value is forgotten either way:
  // a handle is not closed twice. True when there was nothing to release.
  bool Close() {
    if (!Traits::IsValid(value_)) return true;
    T value = value_;
    value_ = Traits::Invalid();
    return Traits::Close(value);
  }
  T Release() {
    T value = value_;
    value_ = Traits::Invalid();
    return value;
  }

 private:
  T value_;
};

// Files, processes, threads, snapshots, mutexes and events.
using ScopedHandle = ScopedGeneric<HANDLE, KernelHandleTraits>;
// FindFirstFile handles.
using ScopedFindHandle = ScopedGeneric<HANDLE, FindHandleTraits>;
// Strings of SysAllocString and of COM methods with a BSTR out-parameter.
using ScopedBstr = ScopedGeneric<BSTR, BstrTraits>;

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY key) { return key != nullptr; }
  static bool Close(HKEY key) { return ::RegCloseKey(key) == ERROR_SUCCESS; }
};

// Registry keys; Receive() serves RegOpenKeyEx / RegCreateKeyEx.
using ScopedRegKey = ScopedGeneric<HKEY, RegKeyTraits>;

struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE module) { return module != nullptr; }
  static bool Close(HMODULE module) { return ::FreeLibrary(module) != FALSE; }
};

// A loaded library and the functions looked up in it.
class ScopedLibrary : public ScopedGeneric<HMODULE, LibraryTraits> {
 public:
  using ScopedGeneric::ScopedGeneric;
  // Null when the library is not loaded or has no such export.
  template <typename Fn>
  Fn GetProc(const char* name) const {
    return IsValid() ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(Get(), name)))
                     : nullptr;
  }
};

// A reference-holding COM pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }  // NOLINT: adopts with AddRef
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(const ComPtr& other) {
    ComPtr copy(other);
    std::swap(p_, copy.p_);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr moved(std::move(other));
    std::swap(p_, moved.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For creation functions that return an already referenced pointer.
  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  // Takes over the reference that |p| already holds (a newly made object,
  // an out-parameter of a creation function), without AddRef.
  void Attach(T* p) {
    Reset();
    p_ = p;
  }
  // Forgotten before it is released: the last Release may call back in.
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  template <typename U>
  HRESULT As(ComPtr<U>* out, REFIID iid) const {
    return p_ ? p_->QueryInterface(iid, out->ReceiveVoid()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

// CoInitialize for the lifetime of a scope; CoUninitialize only if it succeeded.
class ScopedComInit {
 public:
  ScopedComInit() : hr_(::CoInitialize(nullptr)) {}
  ~ScopedComInit() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace tn
