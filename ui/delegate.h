// Handlers bound to a control's own notification event.
//
//   button->OnNotify += MakeDelegate(this, &Page::OnInstallClick);
//
// A handler is bool Handler(void* param); param is the TNotifyUI* of the
// notification. An event source owns copies of the delegates added to it.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

namespace DuiLib {

class CDelegateBase {
 public:
  CDelegateBase(void* pObject, void* pFn) : m_pObject(pObject), m_pFn(pFn) {}
  virtual ~CDelegateBase() = default;
  CDelegateBase(const CDelegateBase&) = default;
  CDelegateBase& operator=(const CDelegateBase&) = default;

  // Same object and same function (by the bytes of the function pointer).
  bool Equals(const CDelegateBase& other) const;
  bool operator()(void* param) { return Invoke(param); }
  virtual CDelegateBase* Copy() const = 0;

 protected:
  void* GetObject() const { return m_pObject; }
  virtual bool Invoke(void* param) = 0;
  // Identity of the bound function for Equals; member function pointers
  // cannot be converted to void*, so subclasses keep their bytes here.
  unsigned char fn_bytes_[16] = {};

 private:
  void* m_pObject;
  void* m_pFn;
};

class CDelegateStatic : public CDelegateBase {
  typedef bool (*Fn)(void*);

 public:
  explicit CDelegateStatic(Fn pFn)
      : CDelegateBase(nullptr, reinterpret_cast<void*>(pFn)), fn_(pFn) {}
  CDelegateBase* Copy() const override { return new CDelegateStatic(*this); }

 protected:
  bool Invoke(void* param) override { return fn_(param); }

 private:
  Fn fn_;
};

template <class O, class T>
class CDelegate : public CDelegateBase {
  typedef bool (T::*Fn)(void*);

 public:
  CDelegate(O* pObj, Fn pFn) : CDelegateBase(pObj, nullptr), fn_(pFn) {
    static_assert(sizeof(Fn) <= sizeof(fn_bytes_), "member pointer too large");
    std::memcpy(fn_bytes_, &fn_, sizeof(Fn));
  }
  CDelegateBase* Copy() const override { return new CDelegate(*this); }

 protected:
  bool Invoke(void* param) override {
    O* pObject = static_cast<O*>(GetObject());
    return (pObject->*fn_)(param);
  }

 private:
  Fn fn_;
};

template <class O, class T>
CDelegate<O, T> MakeDelegate(O* pObject, bool (T::*pFn)(void*)) {
  return CDelegate<O, T>(pObject, pFn);
}

inline CDelegateStatic MakeDelegate(bool (*pFn)(void*)) { return CDelegateStatic(pFn); }

class CEventSource {
 public:
  CEventSource() : alive_(std::make_shared<bool>(true)) {}
  ~CEventSource() { *alive_ = false; }
  CEventSource(const CEventSource&) = delete;
  CEventSource& operator=(const CEventSource&) = delete;

  explicit operator bool() const { return !delegates_.empty(); }
  int GetCount() const { return static_cast<int>(delegates_.size()); }
  void operator+=(const CDelegateBase& d);
  void operator+=(bool (*pFn)(void*));
  void operator-=(const CDelegateBase& d);
  void operator-=(bool (*pFn)(void*));
  // Calls every handler in the order added; stops at and returns false for
  // the first handler that returns false. Handlers may add or remove
  // handlers while being called; a removed one is not called afterwards.
  // A handler may also destroy the control that owns this event.
  bool operator()(void* param);

 private:
  std::shared_ptr<bool> alive_;
  std::vector<std::shared_ptr<CDelegateBase>> delegates_;
};

}  // namespace DuiLib
