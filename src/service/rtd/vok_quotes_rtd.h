// CVokQuotesRtd: the class VokQuotesRtd ("Vokhaldex.VokQuotes.RTD"), a real-time data server that
// makes =RTD("Vokhaldex.VokQuotes.RTD",,"MSFT","Last") a live cell. ServerStart creates a service
// object and connects it with the per-user defaults (the settings class); topics go to a topic
// table; each batch of changes calls the host's UpdateNotify once, and RefreshData hands over the
// changed topics as the host's two-row array of (topic id, value).
//
// Threads: threading model Apartment: the host's apartment thread makes every call, and the
// service's data callbacks arrive there through the message loop the host pumps. Debug builds
// assert it. Windows only (the protocol passes SAFEARRAYs).
#pragma once

#include <atomic>
#include <memory>

#include "platform/com.h"
#include "platform/com_ptr.h"
#include "platform/thread_checker.h"
#include "records/vokquote.h"
#include "service/module_lock.h"
#include "service/rtd/rtd_topic_table.h"

class CVokQuotesRtd final : public IRtdServer {
 public:
  // Aggregation is not offered: outer must be null.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHOD(Invoke)
  (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  STDMETHOD(ServerStart)(IRTDUpdateEvent* CallbackObject, LONG* pfRes) override;
  STDMETHOD(ConnectData)(LONG TopicID, SAFEARRAY** Strings, VARIANT_BOOL* GetNewValues, VARIANT* pvarOut) override;
  STDMETHOD(RefreshData)(LONG* TopicCount, SAFEARRAY** parrayOut) override;
  STDMETHOD(DisconnectData)(LONG TopicID) override;
  STDMETHOD(Heartbeat)(LONG* pfRes) override;
  STDMETHOD(ServerTerminate)() override;

 private:
  CVokQuotesRtd() = default;
  ~CVokQuotesRtd();
  CVokQuotesRtd(const CVokQuotesRtd&) = delete;
  CVokQuotesRtd& operator=(const CVokQuotesRtd&) = delete;

  void Terminate();

  vok::CModuleLockHolder m_moduleLock;
  std::atomic<ULONG> m_refs{1};
  vok::CThreadChecker m_thread;
  vok::CComPtr<IRTDUpdateEvent> m_callback;
  std::unique_ptr<vok::CRtdTopicTable> m_table;  // from ServerStart to ServerTerminate
  vok::CRtdTopicTable::Changes m_changes;        // kept to reuse its storage
};
