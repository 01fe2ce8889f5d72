// CConnectionPointImplMT: the connection point of an outgoing dispinterface, safe for sinks that
// advise from any thread and events fired on any thread. Sinks are held in the process interface
// table (a sink in a single-threaded apartment is then called inside its apartment); the array
// of table cookies is guarded by m_lock, which is never held while a sink is called.
// The point is a sub-object: its reference count is its container's.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "platform/com.h"
#include "platform/critical_section.h"

class CConnectionPointImplMT : public IConnectionPoint {
 public:
  // outer: the container's controlling unknown. shuttingDown: set by the container when its
  // release begins; from then on no event is delivered.
  CConnectionPointImplMT(IUnknown* outer, IConnectionPointContainer* container, REFIID iid,
                         const std::atomic<bool>& shuttingDown);
  CConnectionPointImplMT(const CConnectionPointImplMT&) = delete;
  CConnectionPointImplMT& operator=(const CConnectionPointImplMT&) = delete;
  virtual ~CConnectionPointImplMT();

  // IUnknown, delegated to the container.
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // IConnectionPoint
  STDMETHOD(GetConnectionInterface)(IID* piid) override;
  STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) override;
  STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  STDMETHOD(Unadvise)(DWORD dwCookie) override;
  STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) override;

  // Calls Invoke(dispid) on every sink in array order; sinks' results are ignored.
  void FireEvent(DISPID dispid, DISPPARAMS* params);

  // Number of slots in the sink array, used or free.
  std::size_t SlotCount();

 private:
  HRESULT AddSink(IUnknown* pUnkSink, DWORD* pdwCookie);

  IUnknown* const m_outer;
  IConnectionPointContainer* const m_container;
  const IID m_iid;
  const std::atomic<bool>& m_shuttingDown;
  vok::CCriticalSection m_lock;
  std::vector<DWORD> m_sinks;  // guarded by m_lock; table cookie per slot, 0 = free
};
