// CVokQuotesSettings: the class VokQuotesSettings ("Vokhaldex.VokQuotesSettings"), the scriptable
// face of the per-user settings. A new object reads the current settings; its properties change
// its own copy; Save writes the copy to the user's store (the password protected, never in clear)
// and reloads this process's trace settings. Service objects read the store at Connect, so a saved
// server or logon applies to their next connection.
//
// Threads: any; m_lock guards the copy. Free-threaded like the service object.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/com.h"
#include "records/vokquote.h"
#include "service/module_lock.h"
#include "service/user_settings.h"

class CVokQuotesSettings final : public IVokQuotesSettings {
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

  STDMETHOD(get_Server)(BSTR* pVal) override;
  STDMETHOD(put_Server)(BSTR newVal) override;
  STDMETHOD(get_UserName)(BSTR* pVal) override;
  STDMETHOD(put_UserName)(BSTR newVal) override;
  STDMETHOD(put_Password)(BSTR newVal) override;
  STDMETHOD(get_TraceFile)(BSTR* pVal) override;
  STDMETHOD(put_TraceFile)(BSTR newVal) override;
  STDMETHOD(get_TraceLevel)(LONG* pVal) override;
  STDMETHOD(put_TraceLevel)(LONG newVal) override;
  STDMETHOD(get_LogQuotes)(VARIANT_BOOL* pVal) override;
  STDMETHOD(put_LogQuotes)(VARIANT_BOOL newVal) override;
  STDMETHOD(get_QuotesTestMode)(VARIANT_BOOL* pVal) override;
  STDMETHOD(put_QuotesTestMode)(VARIANT_BOOL newVal) override;
  STDMETHOD(Save)() override;
  STDMETHOD(get_Version)(BSTR* pVal) override;
  STDMETHOD(get_UseTls)(VARIANT_BOOL* pVal) override;
  STDMETHOD(put_UseTls)(VARIANT_BOOL newVal) override;
  STDMETHOD(get_TlsCaFile)(BSTR* pVal) override;
  STDMETHOD(put_TlsCaFile)(BSTR newVal) override;
  STDMETHOD(get_TlsPinnedCertificate)(BSTR* pVal) override;
  STDMETHOD(put_TlsPinnedCertificate)(BSTR newVal) override;
  STDMETHOD(get_ImmediateDelivery)(VARIANT_BOOL* pVal) override;
  STDMETHOD(put_ImmediateDelivery)(VARIANT_BOOL newVal) override;
  STDMETHOD(get_CaptureFile)(BSTR* pVal) override;
  STDMETHOD(put_CaptureFile)(BSTR newVal) override;

 private:
  CVokQuotesSettings();
  ~CVokQuotesSettings();
  CVokQuotesSettings(const CVokQuotesSettings&) = delete;
  CVokQuotesSettings& operator=(const CVokQuotesSettings&) = delete;

  HRESULT GetText(const std::string vok::SUserSettings::*member, BSTR* pVal);
  HRESULT PutText(std::string vok::SUserSettings::*member, BSTR newVal);
  HRESULT GetFlag(bool vok::SUserSettings::*member, VARIANT_BOOL* pVal);
  HRESULT PutFlag(bool vok::SUserSettings::*member, VARIANT_BOOL newVal);

  vok::CModuleLockHolder m_moduleLock;
  std::atomic<ULONG> m_refs{1};
  std::mutex m_lock;
  vok::SUserSettings m_values;  // guarded by m_lock
  std::string m_password;       // guarded by m_lock; the transformed form, never traced
  bool m_passwordSet = false;   // guarded by m_lock; Save writes the password only when set
};
