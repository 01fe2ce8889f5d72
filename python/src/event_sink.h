// CEventSink: the binding's sink for the service object's connection events (OnConnect, OnClose,
// OnLogonSucceed). The library fires them on its own threads; the sink hands each to its session,
// if that still lives, which records the logon outcome and queues the event for Python.
#pragma once

#include <atomic>
#include <functional>

#include <vokquote/records.h>

#include "binding_record.h"
#include "com_ref.h"

namespace vok::py {

class CEventSink final : public IDispatch {
 public:
  using Handler = std::function<void(EEventKind, std::int32_t)>;
  static CComRef<CEventSink> Create(Handler handler);

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(GetTypeInfoCount)(UINT* count) override;
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override;
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHOD(Invoke)(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  explicit CEventSink(Handler handler) : m_handler(std::move(handler)) {}
  ~CEventSink() = default;

  std::atomic<ULONG> m_refs{0};
  const Handler m_handler;  // safe on any thread
};

}  // namespace vok::py
