// vok::CComPtr<T>: the owning smart pointer for COM interfaces on both platforms. It holds one
// reference, releases it on destruction, and hands out Put() for the T** out-parameters of COM
// calls (releasing whatever it held first).
#pragma once

#include <utility>

#include "platform/com.h"

namespace vok {

template <class T>
class CComPtr {
 public:
  CComPtr() = default;
  CComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit CComPtr(T* p) : m_p(p) {
    if (m_p != nullptr) m_p->AddRef();
  }
  CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
  CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~CComPtr() { Reset(); }

  CComPtr& operator=(const CComPtr& other) {
    CComPtr(other).Swap(*this);
    return *this;
  }
  CComPtr& operator=(CComPtr&& other) noexcept {
    CComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  CComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Adopts p without AddRef (for a pointer that already carries our reference).
  static CComPtr Attach(T* p) {
    CComPtr result;
    result.m_p = p;
    return result;
  }
  // Gives up ownership without Release.
  [[nodiscard]] T* Detach() { return std::exchange(m_p, nullptr); }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }

  // For out-parameters: releases the current pointer and returns the address to fill.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Copies out a new reference (for returning through an out-parameter); *out may be null.
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = m_p;
    if (m_p != nullptr) m_p->AddRef();
    return S_OK;
  }

  // QueryInterface into another smart pointer.
  template <class U>
  HRESULT QueryInterface(REFIID iid, CComPtr<U>& out) const {
    if (m_p == nullptr) {
      out.Reset();
      return E_POINTER;
    }
    return m_p->QueryInterface(iid, out.PutVoid());
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  void Swap(CComPtr& other) noexcept { std::swap(m_p, other.m_p); }

  friend bool operator==(const CComPtr& a, const CComPtr& b) { return a.m_p == b.m_p; }
  friend bool operator==(const CComPtr& a, std::nullptr_t) { return a.m_p == nullptr; }

 private:
  T* m_p = nullptr;
};

}  // namespace vok
