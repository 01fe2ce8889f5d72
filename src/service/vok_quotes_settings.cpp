// The settings class: IDispatch from the type library, the properties over a copy of the
// per-user settings, and Save.
#include "service/vok_quotes_settings.h"

#include <vokquote/version.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "platform/bstr.h"
#include "service/type_library.h"
#include "vkdll/trace.h"
#include "vkdll/vkdll.h"

namespace {

constexpr LONG kMaxTraceLevel = VOKTRACE_FAILURE;

HRESULT NewText(const std::string& text, BSTR* pVal) {
  *pVal = vok::CBstr::FromNarrow(text).Detach();
  return *pVal != nullptr || text.empty() ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CVokQuotesSettings::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  CVokQuotesSettings* created = new (std::nothrow) CVokQuotesSettings();
  if (created == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(riid, ppv);
  created->Release();
  return hr;
}

CVokQuotesSettings::CVokQuotesSettings() : m_values(vok::ReadUserSettings()) {}

CVokQuotesSettings::~CVokQuotesSettings() { std::fill(m_password.begin(), m_password.end(), '\0'); }

// ---- IUnknown ----

STDMETHODIMP CVokQuotesSettings::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IVokQuotesSettings) {
    *ppv = static_cast<IVokQuotesSettings*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CVokQuotesSettings::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CVokQuotesSettings::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

// ---- IDispatch ----

STDMETHODIMP CVokQuotesSettings::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  ITypeInfo* info = nullptr;
  *pctinfo = SUCCEEDED(vok::LibraryTypeInfo(IID_IVokQuotesSettings, &info)) ? 1 : 0;
  if (info != nullptr) info->Release();
  return S_OK;
}

STDMETHODIMP CVokQuotesSettings::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return vok::LibraryTypeInfo(IID_IVokQuotesSettings, ppTInfo);
}

STDMETHODIMP CVokQuotesSettings::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return vok::LibraryGetIDsOfNames(IID_IVokQuotesSettings, rgszNames, cNames, rgDispId);
}

STDMETHODIMP CVokQuotesSettings::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return vok::LibraryInvoke(IID_IVokQuotesSettings, static_cast<IVokQuotesSettings*>(this), dispIdMember, wFlags,
                            pDispParams, pVarResult, pExcepInfo, puArgErr);
}

// ---- Properties ----

HRESULT CVokQuotesSettings::GetFlag(bool vok::SUserSettings::*member, VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  std::lock_guard lock(m_lock);
  *pVal = m_values.*member ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CVokQuotesSettings::PutFlag(bool vok::SUserSettings::*member, VARIANT_BOOL newVal) {
  std::lock_guard lock(m_lock);
  m_values.*member = newVal != VARIANT_FALSE;
  return S_OK;
}

HRESULT CVokQuotesSettings::GetText(const std::string vok::SUserSettings::*member, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  try {
    std::lock_guard lock(m_lock);
    return NewText(m_values.*member, pVal);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CVokQuotesSettings::PutText(std::string vok::SUserSettings::*member, BSTR newVal) {
  try {
    std::string text = vok::CBstr::ToNarrow(newVal);
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    // A line break would end the stored value early on Linux and means nothing in any of them.
    if (text.find_first_of("\r\n") != std::string::npos) return E_INVALIDARG;
    std::lock_guard lock(m_lock);
    m_values.*member = std::move(text);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CVokQuotesSettings::get_Server(BSTR* pVal) { return GetText(&vok::SUserSettings::server, pVal); }

STDMETHODIMP CVokQuotesSettings::put_Server(BSTR newVal) {
  try {
    const std::string text = vok::CBstr::ToNarrow(newVal);
    std::string host;
    int port = 0;
    if (text.find_first_not_of(" \t") != std::string::npos && !vok::ParseServerAddress(text, host, port)) {
      return E_INVALIDARG;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return PutText(&vok::SUserSettings::server, newVal);
}

STDMETHODIMP CVokQuotesSettings::get_UserName(BSTR* pVal) { return GetText(&vok::SUserSettings::userName, pVal); }

STDMETHODIMP CVokQuotesSettings::put_UserName(BSTR newVal) { return PutText(&vok::SUserSettings::userName, newVal); }

STDMETHODIMP CVokQuotesSettings::put_Password(BSTR newVal) {
  try {
    std::string text = vok::CBstr::ToNarrow(newVal);
    std::string stored;
    if (text.size() >= 64) {
      // Already the transformed form, as the service object takes it.
      stored = text;
    } else if (!text.empty()) {
      char transformed[65] = {};
      VOK_TransformPassword(text.c_str(), transformed);
      stored = transformed;
    }
    std::fill(text.begin(), text.end(), '\0');
    std::lock_guard lock(m_lock);
    std::fill(m_password.begin(), m_password.end(), '\0');
    m_password = std::move(stored);
    m_passwordSet = true;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CVokQuotesSettings::get_TraceFile(BSTR* pVal) { return GetText(&vok::SUserSettings::traceFile, pVal); }

STDMETHODIMP CVokQuotesSettings::put_TraceFile(BSTR newVal) { return PutText(&vok::SUserSettings::traceFile, newVal); }

STDMETHODIMP CVokQuotesSettings::get_TraceLevel(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  std::lock_guard lock(m_lock);
  *pVal = static_cast<LONG>(m_values.traceLevel);
  return S_OK;
}

STDMETHODIMP CVokQuotesSettings::put_TraceLevel(LONG newVal) {
  if (newVal < 0 || newVal > kMaxTraceLevel) return E_INVALIDARG;
  std::lock_guard lock(m_lock);
  m_values.traceLevel = static_cast<std::uint32_t>(newVal);
  return S_OK;
}

STDMETHODIMP CVokQuotesSettings::get_LogQuotes(VARIANT_BOOL* pVal) {
  return GetFlag(&vok::SUserSettings::logQuotes, pVal);
}

STDMETHODIMP CVokQuotesSettings::put_LogQuotes(VARIANT_BOOL newVal) {
  return PutFlag(&vok::SUserSettings::logQuotes, newVal);
}

STDMETHODIMP CVokQuotesSettings::get_QuotesTestMode(VARIANT_BOOL* pVal) {
  return GetFlag(&vok::SUserSettings::testMode, pVal);
}

STDMETHODIMP CVokQuotesSettings::put_QuotesTestMode(VARIANT_BOOL newVal) {
  return PutFlag(&vok::SUserSettings::testMode, newVal);
}

STDMETHODIMP CVokQuotesSettings::Save() {
  try {
    bool saved = false;
    {
      std::lock_guard lock(m_lock);
      saved = vok::WriteUserSettings(m_values);
      if (m_passwordSet) saved = vok::WriteUserPassword(m_password) && saved;
      if (saved) m_passwordSet = false;
    }
    if (!saved) {
      VOKTRACE_Write(VOKTRACE_FAILURE, "CVokQuotesSettings::Save: the per-user settings could not be written");
      return E_ACCESSDENIED;
    }
    VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotesSettings::Save");
    vok::ReloadTraceSettings();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CVokQuotesSettings::get_Version(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  try {
    return NewText(VOKQUOTE_VERSION_STRING, pVal);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CVokQuotesSettings::get_UseTls(VARIANT_BOOL* pVal) { return GetFlag(&vok::SUserSettings::useTls, pVal); }

STDMETHODIMP CVokQuotesSettings::put_UseTls(VARIANT_BOOL newVal) {
  return PutFlag(&vok::SUserSettings::useTls, newVal);
}

STDMETHODIMP CVokQuotesSettings::get_TlsCaFile(BSTR* pVal) { return GetText(&vok::SUserSettings::tlsCaFile, pVal); }

STDMETHODIMP CVokQuotesSettings::put_TlsCaFile(BSTR newVal) { return PutText(&vok::SUserSettings::tlsCaFile, newVal); }

STDMETHODIMP CVokQuotesSettings::get_TlsPinnedCertificate(BSTR* pVal) {
  return GetText(&vok::SUserSettings::tlsPinnedCertificate, pVal);
}

STDMETHODIMP CVokQuotesSettings::put_TlsPinnedCertificate(BSTR newVal) {
  try {
    std::string text = vok::CBstr::ToNarrow(newVal);
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    // A malformed pin would only fail every later connect; refuse it here, where the caller sees why.
    std::string pin;
    if (!text.empty() && !vok::NormaliseSha256Fingerprint(text, pin)) return E_INVALIDARG;
    std::lock_guard lock(m_lock);
    m_values.tlsPinnedCertificate = std::move(pin);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CVokQuotesSettings::get_ImmediateDelivery(VARIANT_BOOL* pVal) {
  return GetFlag(&vok::SUserSettings::immediateDelivery, pVal);
}

STDMETHODIMP CVokQuotesSettings::put_ImmediateDelivery(VARIANT_BOOL newVal) {
  return PutFlag(&vok::SUserSettings::immediateDelivery, newVal);
}

STDMETHODIMP CVokQuotesSettings::get_CaptureFile(BSTR* pVal) { return GetText(&vok::SUserSettings::captureFile, pVal); }

STDMETHODIMP CVokQuotesSettings::put_CaptureFile(BSTR newVal) {
  return PutText(&vok::SUserSettings::captureFile, newVal);
}
