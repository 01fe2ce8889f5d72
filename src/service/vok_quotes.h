// CVokQuotes: the quote service object behind the class VokQuotes, and the COM shell around its
// parts. Clients configure the server through IVokQuotesPriv, call Connect, subscribe symbols with
// a callback through AdviseSymbol, read the caches, and learn of connection changes through the
// _IVokQuotesEvents connection point. It keeps the object's identity (aggregation, IDispatch, the
// connection point container), the connection settings and the borrow and underlier maps; the
// handler set (src/handlers/handler_set.h) owns the data handlers, the connection lifecycle
// (connection_lifecycle.h) the connection. The object created last is the current one: the pump
// hands it every server message, data straight to its handler set.
//
// Threads: the COM methods run on any client thread; the pump thread hands data to the handler
// set, connection messages and the timers' work to the lifecycle; the connection worker builds the
// quote client.
//
// The lock order of the whole component, always taken in this order when nested:
//   m_objectLock (subscription calls, connection settings) -> client lock (CQuoteClient::Lock():
//   current client and its state, the server name) -> a handler's lock.
// The connection worker's settings are copied under m_objectLock before the client lock is taken,
// so the two never nest the other way. The lifecycle's worker lock is taken before the client lock
// and only briefly. m_mapsLock guards the borrow and underlier maps and is a leaf: handlers reach
// it while holding their own lock. Events are never fired with the client lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "handlers/handler_host.h"
#include "handlers/handler_set.h"
#include "platform/com.h"
#include "platform/com_ptr.h"
#include "platform/critical_section.h"
#include "platform/thread_handle.h"
#include "records/vokquote.h"
#include "service/connection_lifecycle.h"
#include "service/module_lock.h"
#include "service/vok_quote_app.h"
#include "service/vok_quotes_events_proxy.h"

class VOKMessage;

// Asked of an object in this process only: answers with the object's own IVokQuotes, so the
// library's C calls can reach it (a proxy of another apartment does not know it).
inline constexpr GUID kIidVokQuotesObject = {
    0x0b48ca48, 0x7fec, 0x41f0, {0x86, 0xa8, 0xe2, 0xa0, 0x6b, 0x28, 0x2c, 0xc7}};

class CVokQuotes final : public IVokQuotes,
                         public IConnectionPointContainer,
                         public IVokQuotesPriv,
                         public IHandlerHost,
                         public IQueueConsumer,
                         private IConnectionEvents {
 public:
  // Creates, constructs (FinalConstruct) and queries the object; the one way to make one. With an
  // outer unknown the object is aggregated: only IID_IUnknown may be asked for, and the result is
  // the inner unknown, which the outer object holds and does not delegate.
  static HRESULT CreateInstance(REFIID riid, void** object) { return CreateInstance(nullptr, riid, object); }
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);

  static constexpr LONG kConnectPending = CConnectionLifecycle::kConnectPending;
  static constexpr LONG kDefaultPort = 5020;

  // IUnknown of every interface: the controlling unknown's (the outer object's when aggregated).
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // IDispatch (from the type library)
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHOD(Invoke)
  (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IVokQuotes
  STDMETHOD(Connect)(LONG* plRetVal) override;
  STDMETHOD(AdviseSymbol)(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) override;
  STDMETHOD(UnadviseSymbol)(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) override;
  STDMETHOD(UnadviseAll)(IVokQuotesNotify* pNotify) override;
  STDMETHOD(Disconnect)() override;
  STDMETHOD(GetCachedQuote)(BSTR bstrSymbol, QUOTERECORD* pRec) override;
  STDMETHOD(get_ConnectionState)(enumConnectionState* pVal) override;
  STDMETHOD(GetCachedOptionsRecord)(BSTR bstrSymbol, OPTIONSRECORD* pRec) override;
  STDMETHOD(GetCachedAggregateLevel2Size)(BSTR bstrSymbol, double dPrice, enumMarketSide side, LONG* pVal) override;
  STDMETHOD(GetSingleQuote)(BSTR bstrSymbol, LONG lTimeout, QUOTERECORD* pRec) override;
  STDMETHOD(get_ServerName)(BSTR* pVal) override;
  STDMETHOD(get_RemoteAddress)(BSTR* pVal) override;

  // IConnectionPointContainer
  STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) override;
  STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override;

  // IVokQuotesPriv
  STDMETHOD(SetNegBorrowPct)(BSTR symbol, double percentage) override;
  STDMETHOD(SetRemoteAddress)(BSTR address) override;
  STDMETHOD(get_Port)(LONG* pVal) override;
  STDMETHOD(put_Port)(LONG newVal) override;
  STDMETHOD(put_Password)(BSTR newVal) override;
  STDMETHOD(get_UserName)(BSTR* pVal) override;
  STDMETHOD(put_UserName)(BSTR newVal) override;
  STDMETHOD(get_QuotePermissions)(ULONGLONG* pVal) override;
  STDMETHOD(GetUnderlier)(BSTR symbol, BSTR* pVal) override;

  // The stored (transformed) password, under the object lock; nothing in the component calls it.
  STDMETHOD(get_Password)(BSTR* pVal);

  // IHandlerHost
  bool LogQuotes() const override { return m_logQuotes != 0; }
  // The "ImmediateDelivery" setting, or on for every object when the process asked for it.
  bool ImmediateDelivery() const override { return m_immediateDelivery; }
  // 200 while the "QuotesTestMode" thread runs, else 0.
  LONG TestInterval() const { return m_testInterval; }
  bool GetBorrowRate(const std::string& symbol, double& rate) override;
  void AddOptionRoot(const std::string& root, const std::string& underlier) override;
  vok::CCriticalSection& ConnectionLock() override;
  bool ConnectionLoggedIn() override;
  void Send(const VOKMessage& message) override;

  // IQueueConsumer (pump thread)
  bool TryAddRef() override;
  void ReleaseRef() override { m_inner.Release(); }  // pairs with TryAddRef, on the own count
  void OnConnectionMessage(const VOKMessage& message) override { m_connection.OnConnectionMessage(message); }
  IDataDispatch& DataDispatch() override { return m_handlers; }
  void OnHeartbeatTimer() override { m_connection.OnHeartbeatTimer(); }
  void OnReconnectTimer() override { m_connection.OnReconnectTimer(); }

  // Records the underlier of a symbol's root (the text before the first "-"); the first stays.
  void AddUnderlier(const std::string& symbol, const std::string& underlier);

  CHandlerSet& Handlers() { return m_handlers; }
  CConnectionLifecycle& Connection() { return m_connection; }
  bool IsCurrentServiceObject() { return vok::App().IsCurrent(this); }

 private:
  friend struct std::default_delete<CVokQuotes>;
  CVokQuotes();
  ~CVokQuotes();
  CVokQuotes(const CVokQuotes&) = delete;
  CVokQuotes& operator=(const CVokQuotes&) = delete;

  HRESULT FinalConstruct();
  void FinalRelease();

  // IConnectionEvents
  void ReadConnectionSettings(SQuoteClientSettings& settings) override;
  void FireConnect(LONG code) override { m_eventPoint.Fire_OnConnect(code); }
  void FireClose(LONG code) override { m_eventPoint.Fire_OnClose(code); }
  void FireLogonSucceed() override { m_eventPoint.Fire_OnLogonSucceed(); }

  // The free-threaded marshaler and the test thread.
  HRESULT CreateMarshaler();
  void ReleaseMarshaler();
  // IMarshal and whatever else the marshaler answers; false when it does not apply.
  bool QueryMarshaler(REFIID riid, void** ppv);
  void StartTestMode();
  void StopTestMode();
  // A string member read under the object lock, handed out as a new BSTR.
  HRESULT CopyText(const char* method, const std::string& member, BSTR* pVal);
  // The interfaces the inner unknown answers; inner is itself.
  HRESULT FindInterface(IUnknown* inner, REFIID riid, void** ppv);

  // The object's own, non-delegating IUnknown: it alone counts references.
  class CInnerUnknown final : public IUnknown {
   public:
    explicit CInnerUnknown(CVokQuotes& owner) : m_owner(owner) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

   private:
    CVokQuotes& m_owner;
  };

  vok::CModuleLockHolder m_moduleLock;
  std::atomic<ULONG> m_refCount{0};
  CInnerUnknown m_inner{*this};
  IUnknown* m_controllingUnknown = &m_inner;  // the outer object when aggregated; not counted
  // The object lock: no spin count, as the object framework's is.
  vok::CCriticalSection m_objectLock{0};
  vok::CCriticalSection m_mapsLock;

  std::string m_userName;  // guarded by m_objectLock
  std::string m_password;  // guarded by m_objectLock; the transformed form, never traced
  std::atomic<LONG> m_port{kDefaultPort};
  std::string m_remoteAddress;  // guarded by m_objectLock
  std::unique_ptr<vok::CThreadHandle> m_testThread;
  LONG m_logQuotes = 0;
  bool m_immediateDelivery = false;  // read once at construction
  std::atomic<bool> m_shuttingDown{false};
  std::atomic<bool> m_testStop{false};
  LONG m_testInterval = 0;
  // The lifecycle resubscribes the handler set at each logon, so it is built after it.
  CHandlerSet m_handlers;
  CConnectionLifecycle m_connection{*this, m_handlers};
  vok::CComPtr<IUnknown> m_marshaler;
  std::unordered_map<std::string, double> m_borrowMap;  // guarded by m_mapsLock
  // Set under m_mapsLock once the borrow map holds a rate: until then the merge of every level 1
  // update asks for none without taking the lock.
  std::atomic<bool> m_hasBorrowRates{false};
  std::unordered_map<std::string, std::string> m_underlierMap;  // guarded by m_mapsLock
  CProxy_IVokQuotesEvents m_eventPoint;
};
