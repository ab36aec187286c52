#include "ui/delegate.h"

namespace DuiLib {

bool CDelegateBase::Equals(const CDelegateBase& other) const {
  return m_pObject == other.m_pObject && m_pFn == other.m_pFn &&
         std::memcmp(fn_bytes_, other.fn_bytes_, sizeof(fn_bytes_)) == 0;
}

void CEventSource::operator+=(const CDelegateBase& d) {
  delegates_.push_back(std::shared_ptr<CDelegateBase>(d.Copy()));
}

void CEventSource::operator+=(bool (*pFn)(void*)) { (*this) += MakeDelegate(pFn); }

void CEventSource::operator-=(const CDelegateBase& d) {
  for (auto it = delegates_.begin(); it != delegates_.end(); ++it) {
    if ((*it)->Equals(d)) {
      delegates_.erase(it);
      return;
    }
  }
}

void CEventSource::operator-=(bool (*pFn)(void*)) { (*this) -= MakeDelegate(pFn); }

bool CEventSource::operator()(void* param) {
  // A snapshot keeps the iteration valid when a handler changes the list;
  // a handler removed meanwhile is skipped.
  std::vector<std::shared_ptr<CDelegateBase>> snapshot = delegates_;
  std::shared_ptr<bool> alive = alive_;
  for (const auto& d : snapshot) {
    if (!*alive) return true;
    bool still_added = false;
    for (const auto& current : delegates_) {
      if (current == d) {
        still_added = true;
        break;
      }
    }
    if (still_added && !(*d)(param)) return false;
  }
  return true;
}

}  // namespace DuiLib
