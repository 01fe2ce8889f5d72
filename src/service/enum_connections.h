// CEnumConnections: a snapshot of a connection point's sinks and cookies, as EnumConnections
// hands it out. A free-standing COM object; each holds its own copy of the snapshot.
#pragma once

#include <atomic>
#include <vector>

#include "platform/com.h"
#include "platform/com_ptr.h"

class CEnumConnections final : public IEnumConnections {
 public:
  struct CEntry {
    vok::CComPtr<IUnknown> sink;
    DWORD cookie;
  };

  static HRESULT Create(std::vector<CEntry> entries, IEnumConnections** ppEnum);

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  STDMETHOD(Next)(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) override;
  STDMETHOD(Skip)(ULONG cConnections) override;
  STDMETHOD(Reset)() override;
  STDMETHOD(Clone)(IEnumConnections** ppEnum) override;

 private:
  explicit CEnumConnections(std::vector<CEntry> entries) : m_entries(std::move(entries)) {}
  ~CEnumConnections() = default;

  std::atomic<ULONG> m_refs{1};
  const std::vector<CEntry> m_entries;
  std::atomic<std::size_t> m_position{0};
};
