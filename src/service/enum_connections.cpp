// The connection snapshot enumerator.
#include "service/enum_connections.h"

#include <new>

HRESULT CEnumConnections::Create(std::vector<CEntry> entries, IEnumConnections** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = new (std::nothrow) CEnumConnections(std::move(entries));  // owned by its reference count
  return *ppEnum != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CEnumConnections::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IEnumConnections) {
    *ppv = static_cast<IEnumConnections*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG CEnumConnections::AddRef() { return ++m_refs; }

ULONG CEnumConnections::Release() {
  const ULONG left = --m_refs;
  if (left == 0) delete this;
  return left;
}

HRESULT CEnumConnections::Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) {
  if (pcFetched != nullptr) *pcFetched = 0;
  if (rgcd == nullptr || (cConnections > 1 && pcFetched == nullptr)) return E_POINTER;
  ULONG fetched = 0;
  while (fetched < cConnections) {
    const std::size_t at = m_position.fetch_add(1);
    if (at >= m_entries.size()) {
      m_position.store(m_entries.size());
      break;
    }
    rgcd[fetched].pUnk = m_entries[at].sink.Get();
    rgcd[fetched].pUnk->AddRef();  // the caller releases each returned sink
    rgcd[fetched].dwCookie = m_entries[at].cookie;
    ++fetched;
  }
  if (pcFetched != nullptr) *pcFetched = fetched;
  return fetched == cConnections ? S_OK : S_FALSE;
}

HRESULT CEnumConnections::Skip(ULONG cConnections) {
  const std::size_t at = m_position.fetch_add(cConnections);
  if (at + cConnections > m_entries.size()) {
    m_position.store(m_entries.size());
    return S_FALSE;
  }
  return S_OK;
}

HRESULT CEnumConnections::Reset() {
  m_position.store(0);
  return S_OK;
}

HRESULT CEnumConnections::Clone(IEnumConnections** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  try {
    HRESULT hr = Create(m_entries, ppEnum);
    if (SUCCEEDED(hr)) static_cast<CEnumConnections*>(*ppEnum)->m_position.store(m_position.load());
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
