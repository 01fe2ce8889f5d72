// The multithreaded connection point: advise, unadvise, enumerate and fire.
#include "service/connection_point.h"

#include <new>

#include "platform/com_ptr.h"
#include "platform/interface_table.h"
#include "service/com_guard.h"
#include "service/enum_connections.h"

namespace {

constexpr std::size_t kInitialSlots = 4;

}  // namespace

CConnectionPointImplMT::CConnectionPointImplMT(IUnknown* outer, IConnectionPointContainer* container, REFIID iid,
                                               const std::atomic<bool>& shuttingDown)
    : m_outer(outer), m_container(container), m_iid(iid), m_shuttingDown(shuttingDown) {}

CConnectionPointImplMT::~CConnectionPointImplMT() {
  // Sinks never unadvised are released with the object that fired to them.
  for (DWORD cookie : m_sinks) {
    if (cookie != 0) vok::RevokeInterfaceFromGlobal(cookie);
  }
}

HRESULT CConnectionPointImplMT::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG CConnectionPointImplMT::AddRef() { return m_outer->AddRef(); }

ULONG CConnectionPointImplMT::Release() { return m_outer->Release(); }

HRESULT CConnectionPointImplMT::GetConnectionInterface(IID* piid) {
  if (piid == nullptr) return E_POINTER;
  *piid = m_iid;
  return S_OK;
}

HRESULT CConnectionPointImplMT::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (ppCPC == nullptr) return E_POINTER;
  *ppCPC = m_container;
  m_container->AddRef();
  return S_OK;
}

HRESULT CConnectionPointImplMT::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (pUnkSink == nullptr || pdwCookie == nullptr) return E_POINTER;
  *pdwCookie = 0;
  return vok::ComGuard("CConnectionPointImplMT::Advise", [&] { return AddSink(pUnkSink, pdwCookie); });
}

HRESULT CConnectionPointImplMT::AddSink(IUnknown* pUnkSink, DWORD* pdwCookie) {
  vok::CComPtr<IDispatch> sink;
  HRESULT hr = pUnkSink->QueryInterface(m_iid, sink.PutVoid());
  if (FAILED(hr)) return hr == E_NOINTERFACE ? CONNECT_E_CANNOTCONNECT : hr;
  if (!sink) return CONNECT_E_CANNOTCONNECT;

  vok::CCriticalSectionLock lock(m_lock);
  // An outgoing dispinterface pointer is an IDispatch pointer; registering it as IDispatch lets
  // the system marshal it into a sink's apartment without our type library being registered.
  DWORD tableCookie = 0;
  hr = vok::RegisterInterfaceInGlobal(sink.Get(), IID_IDispatch, &tableCookie);
  if (FAILED(hr)) return hr;
  try {
    std::size_t slot = 0;
    while (slot < m_sinks.size() && m_sinks[slot] != 0) ++slot;
    if (slot == m_sinks.size()) m_sinks.resize(m_sinks.empty() ? kInitialSlots : m_sinks.size() * 2, 0);
    m_sinks[slot] = tableCookie;
    *pdwCookie = static_cast<DWORD>(slot + 1);
    return S_OK;
  } catch (const std::bad_alloc&) {
    vok::RevokeInterfaceFromGlobal(tableCookie);
    return CONNECT_E_ADVISELIMIT;
  }
}

HRESULT CConnectionPointImplMT::Unadvise(DWORD dwCookie) {
  return vok::ComGuard("CConnectionPointImplMT::Unadvise", [&] {
    DWORD tableCookie = 0;
    {
      vok::CCriticalSectionLock lock(m_lock);
      if (dwCookie == 0 || dwCookie > m_sinks.size() || m_sinks[dwCookie - 1] == 0) return CONNECT_E_NOCONNECTION;
      tableCookie = m_sinks[dwCookie - 1];
      m_sinks[dwCookie - 1] = 0;
    }
    return vok::RevokeInterfaceFromGlobal(tableCookie);
  });
}

HRESULT CConnectionPointImplMT::EnumConnections(IEnumConnections** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  return vok::ComGuard("CConnectionPointImplMT::EnumConnections", [&] {
    std::vector<SConnectionsEnumTraits::Entry> snapshot;
    vok::CCriticalSectionLock lock(m_lock);
    for (std::size_t slot = 0; slot < m_sinks.size(); ++slot) {
      if (m_sinks[slot] == 0) continue;
      vok::CComPtr<IUnknown> sink;
      if (SUCCEEDED(vok::GetInterfaceFromGlobal(m_sinks[slot], IID_IUnknown, sink.PutVoid()))) {
        snapshot.push_back({std::move(sink), static_cast<DWORD>(slot + 1)});
      }
    }
    return CEnumConnections::Create(std::move(snapshot), ppEnum);
  });
}

void CConnectionPointImplMT::FireEvent(DISPID dispid, DISPPARAMS* params) {
  if (m_shuttingDown.load(std::memory_order_acquire)) return;
  const std::size_t count = SlotCount();
  for (std::size_t slot = 0; slot < count; ++slot) {
    DWORD tableCookie = 0;
    {
      vok::CCriticalSectionLock lock(m_lock);
      if (slot < m_sinks.size()) tableCookie = m_sinks[slot];
    }
    if (tableCookie == 0) continue;
    vok::CComPtr<IDispatch> sink;
    if (FAILED(vok::GetInterfaceFromGlobal(tableCookie, IID_IDispatch, sink.PutVoid())) || !sink) continue;
    sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
  }
}

std::size_t CConnectionPointImplMT::SlotCount() {
  vok::CCriticalSectionLock lock(m_lock);
  return m_sinks.size();
}
