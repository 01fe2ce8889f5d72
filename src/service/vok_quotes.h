// CVokQuotes: the quote service object behind the class VokQuotes. Clients configure the server
// through IVokQuotesPriv, call Connect, subscribe symbols with a callback through AdviseSymbol,
// read the caches, and learn of connection changes through the _IVokQuotesEvents connection
// point. It owns the four data handlers, is the host they see (IHandlerHost), and is the consumer
// the pump thread hands every server message to (IQueueConsumer). The object created last is the
// current one: all server traffic goes to it.
//
// Threads: the COM methods run on any client thread; ProcessMessage, the timers' work and the
// OnConnect/OnLogonSucceed/server-caused OnClose events run on the pump thread; the connection
// worker builds the quote client. Locks, always taken in this order when nested:
//   m_objectLock (subscription calls, connection settings) -> client lock (CQuoteClient::Lock():
//   current client and its state, m_serverName) -> a handler's lock.
// The connection worker copies address, port and logon under m_objectLock before it takes the
// client lock, so the two never nest the other way. m_mapsLock guards the borrow and underlier
// maps and is a leaf: handlers reach it while holding their own lock. Events are never fired with
// the client lock held.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "handlers/handler_host.h"
#include "platform/com.h"
#include "platform/com_ptr.h"
#include "platform/critical_section.h"
#include "platform/thread_handle.h"
#include "records/vokquote.h"
#include "service/module_lock.h"
#include "service/vok_quote_app.h"
#include "service/vok_quotes_events_proxy.h"

class CHandler;
class CQuoteHandler;
class CTSHandler;
class CL2Handler;
class COptionsHandler;
class VOKMessage;
struct SQuoteClientSettings;

class CVokQuotes final : public IVokQuotes,
                         public IConnectionPointContainer,
                         public IVokQuotesPriv,
                         public IHandlerHost,
                         public IQueueConsumer {
 public:
  // Creates, constructs (FinalConstruct) and queries the object; the one way to make one. With an
  // outer unknown the object is aggregated: only IID_IUnknown may be asked for, and the result is
  // the inner unknown, which the outer object holds and does not delegate.
  static HRESULT CreateInstance(REFIID riid, void** object) { return CreateInstance(nullptr, riid, object); }
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);

  // The WSAEWOULDBLOCK result of Connect: a connection attempt is under way.
  static constexpr LONG kConnectPending = 10035;
  static constexpr LONG kDefaultPort = 5020;

  // IUnknown of every interface: the controlling unknown's (the outer object's when aggregated).
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // IDispatch (from the type library)
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

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
  void ProcessMessage(const VOKMessage& message) override;
  void OnHeartbeatTimer() override;
  void OnReconnectTimer() override;

  // Records the underlier of a symbol's root (the text before the first "-"); the first stays.
  void AddUnderlier(const std::string& symbol, const std::string& underlier);
  // Traces and fires OnClose(errcode) (suppressed once the object is being released).
  void SocketOnClose(LONG errcode);

  // The delay before a reconnect after a drop: the base plus 0 to 4 random steps.
  static std::uint32_t ReconnectDelayMs();

  // OnConnect's code for a failed connect whose reason the transport could not tell.
  static constexpr LONG kConnectErrorUnknown = -1;

  // For tests and diagnostics: connection workers started so far, and still running.
  static std::uint32_t WorkersStarted();
  static std::uint32_t WorkersRunning();
  CQuoteHandler* QuoteHandler() const { return m_quoteHandler.get(); }
  CHandler* HandlerForType(char type) const { return m_typeMap[static_cast<unsigned char>(type)]; }
  bool IsCurrentServiceObject() { return vok::App().IsCurrent(this); }

 private:
  friend struct std::default_delete<CVokQuotes>;
  CVokQuotes();
  ~CVokQuotes();
  CVokQuotes(const CVokQuotes&) = delete;
  CVokQuotes& operator=(const CVokQuotes&) = delete;

  HRESULT FinalConstruct();
  void FinalRelease();
  void CreateHandlers();
  void DestroyHandlers();
  // Connect's work: replaces an unhealthy client and starts a worker unless a wanted attempt runs.
  void StartConnection();
  // Joins the previous connection worker if it has ended, else lets it go; never waits.
  void ReapWorker();
  // Starts the connection worker of attempt `attempt` (the previous one reaped first).
  void StartWorker(SQuoteClientSettings settings, std::uint64_t attempt);
  // Address, port and logon, copied under the object lock (never with the client lock held).
  void ReadConnectionSettings(SQuoteClientSettings& settings);
  // The three kinds of queued connection events and the logon reply, on the pump thread.
  void OnLogonReply(const VOKMessage& message);
  void OnConnectionEvent(const VOKMessage& message);
  void OnDisconnectNotice(const VOKMessage& message);
  // The connection worker's body: builds the current client from a copy of the settings. Touches
  // nothing of the service object, so a worker left running after the wait is harmless.
  static int CreateClientsRun(const SQuoteClientSettings& settings, std::uint32_t worker, std::uint64_t attempt);

  // Kept by the COM surface's own file: the free-threaded marshaler, the test thread.
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

  std::string m_userName;    // guarded by m_objectLock
  std::string m_password;    // guarded by m_objectLock; the transformed form, never traced
  std::string m_serverName;  // guarded by the client lock
  std::uint32_t m_disconnects = 0;  // guarded by the client lock; counts Disconnect requests
  std::atomic<LONG> m_connectBusy{0};
  std::atomic<LONG> m_port{kDefaultPort};
  std::string m_remoteAddress;  // guarded by m_objectLock
  std::unique_ptr<vok::CThreadHandle> m_testThread;
  std::atomic<LONG> m_loggedInElsewhere{0};  // pump thread
  LONG m_logQuotes = 0;
  std::atomic<bool> m_shuttingDown{false};
  std::atomic<bool> m_testStop{false};
  // The last connection worker started. Guarded by m_workerLock, held only briefly (nothing ever
  // waits for a worker). Order: m_workerLock, then the client lock.
  vok::CCriticalSection m_workerLock;
  std::unique_ptr<vok::CThreadHandle> m_connectWorker;
  LONG m_testInterval = 0;
  // Owned; created by CreateHandlers in this order, which is also the order of every call that
  // goes to all of them.
  std::unique_ptr<CQuoteHandler> m_quoteHandler;
  std::unique_ptr<CTSHandler> m_tsHandler;
  std::unique_ptr<CL2Handler> m_l2Handler;
  std::unique_ptr<COptionsHandler> m_optionsHandler;
  vok::CComPtr<IUnknown> m_marshaler;
  std::unordered_map<std::string, double> m_borrowMap;  // guarded by m_mapsLock
  std::atomic<std::uint64_t> m_quotePermissions{0};
  std::unordered_map<std::string, std::string> m_underlierMap;  // guarded by m_mapsLock
  // Message type to handler; written only by CreateHandlers/DestroyHandlers, before the pump
  // starts and after it stopped.
  std::array<CHandler*, 256> m_typeMap{};
  CProxy_IVokQuotesEvents m_eventPoint;
};
