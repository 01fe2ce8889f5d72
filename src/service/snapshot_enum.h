// CSnapshotEnum: a COM enumerator over a copy of a list taken when it was made (the sinks of a
// connection point, the connection points of a container). A free-standing object owned by its
// reference count; a clone copies the list and the position. Traits name the interface, its IID,
// the element handed out and how one entry becomes one element (with the reference the caller
// releases).
#pragma once

#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "platform/com.h"
#include "service/com_guard.h"

template <class Traits>
class CSnapshotEnum final : public Traits::Interface {
 public:
  using Interface = typename Traits::Interface;
  using Element = typename Traits::Element;
  using Entry = typename Traits::Entry;

  static HRESULT Create(std::vector<Entry> entries, Interface** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = new (std::nothrow) CSnapshotEnum(std::move(entries));  // owned by its reference count
    return *ppEnum != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == Traits::Iid()) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  // Copying an element only takes a reference: nothing here can throw.
  STDMETHOD(Next)(ULONG count, Element* elements, ULONG* pFetched) override {
    if (pFetched != nullptr) *pFetched = 0;
    if (elements == nullptr || (count > 1 && pFetched == nullptr)) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < count) {
      const std::size_t at = m_position.fetch_add(1);
      if (at >= m_entries.size()) {
        m_position.store(m_entries.size());
        break;
      }
      Traits::Copy(m_entries[at], elements[fetched]);
      ++fetched;
    }
    if (pFetched != nullptr) *pFetched = fetched;
    return fetched == count ? S_OK : S_FALSE;
  }
  STDMETHOD(Skip)(ULONG count) override {
    const std::size_t at = m_position.fetch_add(count);
    if (at + count > m_entries.size()) {
      m_position.store(m_entries.size());
      return S_FALSE;
    }
    return S_OK;
  }
  STDMETHOD(Reset)() override {
    m_position.store(0);
    return S_OK;
  }
  STDMETHOD(Clone)(Interface** ppEnum) override {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    return vok::ComGuard("CSnapshotEnum::Clone", [&] {
      const HRESULT hr = Create(m_entries, ppEnum);
      if (SUCCEEDED(hr)) static_cast<CSnapshotEnum*>(*ppEnum)->m_position.store(m_position.load());
      return hr;
    });
  }

 private:
  explicit CSnapshotEnum(std::vector<Entry> entries) : m_entries(std::move(entries)) {}
  ~CSnapshotEnum() = default;

  std::atomic<ULONG> m_refs{1};
  const std::vector<Entry> m_entries;
  std::atomic<std::size_t> m_position{0};
};
