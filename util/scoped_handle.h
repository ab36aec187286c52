// Small uncopyable owners for Win32 handles, keys, libraries and COM pointers.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace tn {

// Traits decide what "no handle" is and how a handle is released.
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::FindClose(h); }
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
  void Reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
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

class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  explicit ScopedRegKey(HKEY key) : key_(key) {}
  ~ScopedRegKey() { Reset(); }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  HKEY Get() const { return key_; }
  // For RegOpenKeyEx / RegCreateKeyEx out-parameters; releases the old key.
  HKEY* Receive() { Reset(); return &key_; }
  bool IsValid() const { return key_ != nullptr; }
  void Reset() {
    if (key_) ::RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

class ScopedLibrary {
 public:
  ScopedLibrary() = default;
  explicit ScopedLibrary(HMODULE module) : module_(module) {}
  ~ScopedLibrary() { Reset(); }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

  HMODULE Get() const { return module_; }
  bool IsValid() const { return module_ != nullptr; }
  void Reset(HMODULE module = nullptr) {
    if (module_) ::FreeLibrary(module_);
    module_ = module;
  }
  HMODULE Release() { return std::exchange(module_, nullptr); }
  template <typename Fn>
  Fn GetProc(const char* name) const {
    return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module_, name)))
                   : nullptr;
  }

 private:
  HMODULE module_ = nullptr;
};

// A reference-holding COM pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }  // NOLINT: adopts with AddRef
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr& operator=(const ComPtr& other) {
    ComPtr copy(other);
    std::swap(p_, copy.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For creation functions that return an already referenced pointer.
  T** Receive() { Reset(); return &p_; }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
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
  ~ScopedComInit() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace tn
