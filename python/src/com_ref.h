// CComRef<T>: the binding's owner of one COM reference (the public headers bring the interfaces,
// not a smart pointer). Move-only; Put() hands the address to an out-parameter.
#pragma once

#include <utility>

namespace vok::py {

template <class T>
class CComRef {
 public:
  CComRef() = default;
  explicit CComRef(T* adopted) : m_ptr(adopted) {}  // takes over a reference the caller holds
  CComRef(const CComRef& other) : m_ptr(other.m_ptr) {
    if (m_ptr != nullptr) m_ptr->AddRef();
  }
  CComRef(CComRef&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
  CComRef& operator=(CComRef other) noexcept {
    std::swap(m_ptr, other.m_ptr);
    return *this;
  }
  ~CComRef() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(m_ptr, nullptr)) old->Release();
  }
  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }
  T** Put() {
    Reset();
    return &m_ptr;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* m_ptr = nullptr;
};

}  // namespace vok::py
