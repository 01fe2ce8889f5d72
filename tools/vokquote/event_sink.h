// CEventSink: vokquote's sink for the service object's connection events (OnConnect, OnClose,
// OnLogonSucceed). The component fires them on its own threads, so the sink only posts each event
// to the main thread's mailbox, where the listener of a still-live session receives it.
#pragma once

#include <atomic>
#include <memory>

#include "client_api.h"
#include "mailbox.h"
#include "quote_listener.h"

namespace vok::cli {

// Owned by the session on the main thread; events posted after it is gone are dropped.
struct SEventRelay {
  IQuoteListener* listener = nullptr;
};

class CEventSink final : public IDispatch {
 public:
  static CComPtr<CEventSink> Create(std::shared_ptr<CMailbox> mailbox, std::weak_ptr<SEventRelay> relay);

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(GetTypeInfoCount)(UINT* count) override;
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override;
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHOD(Invoke)(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  CEventSink(std::shared_ptr<CMailbox> mailbox, std::weak_ptr<SEventRelay> relay)
      : m_mailbox(std::move(mailbox)), m_relay(std::move(relay)) {}
  ~CEventSink() = default;

  std::atomic<ULONG> m_refs{0};
  const std::shared_ptr<CMailbox> m_mailbox;
  const std::weak_ptr<SEventRelay> m_relay;
};

}  // namespace vok::cli
