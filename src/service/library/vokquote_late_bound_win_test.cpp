// VokQuote.dll as late-bound hosts (VBA "As Object", scripts, .NET dynamic) see it, under Wine:
// configured through the settings class's IDispatch alone (its TLS settings take the next
// connection to a TLS server), the event interface found through the type information as a script
// host finds it, and the record members of VokQuotes answering through IDispatch::Invoke. The
// settings' round trip and their protected password are the settings class's and the store's own
// tests; that the password has no getter, the type library's.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "records/vokquote.h"
#include "service/library/client_host_test_util.h"
#include "service/library/client_notify_test_util.h"
#include "service/simulator_endpoint_test_util.h"

namespace {

using vok::CBstr;
using vok::CComPtr;

using vok::test::PumpUntil;

class CVariant {
 public:
  CVariant() { ::VariantInit(&m_value); }
  ~CVariant() { ::VariantClear(&m_value); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;
  VARIANT* operator->() { return &m_value; }
  VARIANT* Get() { return &m_value; }

 private:
  VARIANT m_value;
};

// A late-bound object: members by name, arguments in call order.
class CLateBound {
 public:
  explicit CLateBound(const wchar_t* progId) {
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(progId, &clsid))) return;
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, m_object.PutVoid());
  }
  IDispatch* Get() const { return m_object.Get(); }

  DISPID Id(const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
  }
  HRESULT Call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
               WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argError = 0;
    return m_object->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &argError);
  }
  HRESULT Put(const wchar_t* name, VARIANT value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return m_object->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                            nullptr);
  }
  LONG Number(const wchar_t* name) {
    CVariant result;
    if (FAILED(Call(name, {}, result.Get(), DISPATCH_PROPERTYGET))) return -99;
    ::VariantChangeType(result.Get(), result.Get(), 0, VT_I4);
    return result->lVal;
  }

 private:
  CComPtr<IDispatch> m_object;
};

// VARIANT arguments that the caller's CBstr keeps alive.
VARIANT Text(const CBstr& text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = text.Get();
  return v;
}
VARIANT Number(LONG value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

// Writes the connection settings through the settings class alone, as a script would.
void Configure(const std::string& server, const std::string& user, const std::string& password, bool tls,
               const std::string& caFile) {
  CLateBound settings(L"Vokhaldex.VokQuotesSettings");
  ASSERT_NE(settings.Get(), nullptr);
  const CBstr serverText = CBstr::FromNarrow(server), userText = CBstr::FromNarrow(user),
              passwordText = CBstr::FromNarrow(password), caText = CBstr::FromNarrow(caFile);
  VARIANT use;
  use.vt = VT_BOOL;
  use.boolVal = tls ? VARIANT_TRUE : VARIANT_FALSE;
  ASSERT_EQ(settings.Put(L"Server", Text(serverText)), S_OK);
  ASSERT_EQ(settings.Put(L"UserName", Text(userText)), S_OK);
  ASSERT_EQ(settings.Put(L"Password", Text(passwordText)), S_OK);
  ASSERT_EQ(settings.Put(L"UseTls", use), S_OK);
  ASSERT_EQ(settings.Put(L"TlsCaFile", Text(caText)), S_OK);
  ASSERT_EQ(settings.Call(L"Save", {}, nullptr, DISPATCH_METHOD), S_OK);
}

// The client host's environment registers the DLL and enters the apartment; this one clears the
// stored settings again after the tests, so that later programs reach the plain simulator.
class CSettingsCleanup : public ::testing::Environment {
 public:
  void TearDown() override { Configure("", "", "", false, ""); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CSettingsCleanup);

// IDispatch -> type info -> containing library -> the coclass's default source interface; the
// object is free-threaded, so it answers IMarshal.
TEST(LateBound, AScriptHostFindsTheEventInterfaceThroughTheTypeInfo) {
  CLateBound quotes(L"Vokhaldex.VokQuotes");
  ASSERT_NE(quotes.Get(), nullptr);
  UINT count = 0;
  ASSERT_EQ(quotes.Get()->GetTypeInfoCount(&count), S_OK);
  ASSERT_EQ(count, 1u);
  CComPtr<ITypeInfo> info;
  ASSERT_EQ(quotes.Get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
  CComPtr<ITypeLib> library;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(library.Put(), &index), S_OK);
  CComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_VokQuotes, coclass.Put()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  const WORD implemented = attributes->cImplTypes;
  coclass->ReleaseTypeAttr(attributes);
  IID events = IID_NULL;
  for (UINT i = 0; i < implemented; ++i) {
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) {
      continue;
    }
    HREFTYPE reference = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &reference), S_OK);
    CComPtr<ITypeInfo> source;
    ASSERT_EQ(coclass->GetRefTypeInfo(reference, source.Put()), S_OK);
    ASSERT_EQ(source->GetTypeAttr(&attributes), S_OK);
    events = attributes->guid;
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    source->ReleaseTypeAttr(attributes);
  }
  EXPECT_EQ(events, DIID__IVokQuotesEvents);
  CComPtr<IMarshal> marshal;
  EXPECT_EQ(quotes.Get()->QueryInterface(IID_IMarshal, marshal.PutVoid()), S_OK);
}

// A host that only uses the settings class connects over TLS (Schannel); the record members answer
// through Invoke with records the type library describes.
TEST(LateBound, ASettingsOnlyHostConnectsOverTlsAndTheRecordMembersAnswerThroughInvoke) {
  vok::test::SSimulatorEndpoint endpoint;
  ASSERT_TRUE(vok::test::ReadSimulatorEndpoint(endpoint, true)) << "no TLS simulator endpoint";
  Configure(endpoint.host + ":" + std::to_string(endpoint.port), vok::test::kSimulatorUser,
            vok::test::kSimulatorPassword, true, endpoint.caFile);
  CLateBound quotes(L"Vokhaldex.VokQuotes");
  ASSERT_NE(quotes.Get(), nullptr);
  CVariant connect;
  ASSERT_EQ(quotes.Call(L"Connect", {}, connect.Get()), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return quotes.Number(L"ConnectionState") == csLoggedIn; }));

  const CBstr ibm = CBstr::FromNarrow("IBM");
  CVariant single;
  ASSERT_EQ(quotes.Call(L"GetSingleQuote", {Text(ibm), Number(15000)}, single.Get()), S_OK);
  ASSERT_EQ(single->vt, VT_RECORD);
  const auto* quote = static_cast<const QUOTERECORD*>(single->pvRecord);
  EXPECT_EQ(CBstr::ToNarrow(quote->bstrSymbol), "IBM");
  EXPECT_TRUE(quote->dBid != 0 || quote->dAsk != 0 || quote->dLast != 0);
  ASSERT_NE(single->pRecInfo, nullptr);
  GUID guid{};
  ASSERT_EQ(single->pRecInfo->GetGuid(&guid), S_OK);
  EXPECT_EQ(guid, GUID_QUOTERECORD);
  ULONG size = 0;
  single->pRecInfo->GetSize(&size);
  EXPECT_EQ(size, sizeof(QUOTERECORD));

  // The cache, after a subscription made through the vtable.
  CComPtr<IVokQuotes> early;
  ASSERT_EQ(quotes.Get()->QueryInterface(IID_IVokQuotes, early.PutVoid()), S_OK);
  vok::test::CClientNotify notify;
  const CBstr msft = CBstr::FromNarrow("MSFT");
  ASSERT_EQ(early->AdviseSymbol(&notify, msft.Get(), qsfLevelOne | qsfOptions), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return notify.m_counts[0] > 0 && notify.m_counts[3] > 0; }));
  const CBstr optionSymbol = CBstr::FromNarrow(notify.m_optionSymbol);
  CVariant option;
  ASSERT_EQ(quotes.Call(L"GetCachedOptionsRecord", {Text(optionSymbol)}, option.Get()), S_OK);
  ASSERT_EQ(option->vt, VT_RECORD);
  ASSERT_EQ(option->pRecInfo->GetGuid(&guid), S_OK);
  EXPECT_EQ(guid, GUID_OPTIONSRECORD);
  const auto* options = static_cast<const OPTIONSRECORD*>(option->pvRecord);
  EXPECT_EQ(CBstr::ToNarrow(options->bstrSymbol), notify.m_optionSymbol);
  EXPECT_EQ(CBstr::ToNarrow(options->bstrUnderlier), "MSFT");

  // The caller's own record, passed by reference as a last argument, is filled in place; one of
  // the wrong type is refused.
  void* own = single->pRecInfo->RecordCreate();
  ASSERT_NE(own, nullptr);
  VARIANT byRef;
  byRef.vt = VT_RECORD | VT_BYREF;
  byRef.pvRecord = own;
  byRef.pRecInfo = single->pRecInfo;
  ASSERT_EQ(quotes.Call(L"GetCachedQuote", {Text(msft), byRef}, nullptr), S_OK);
  EXPECT_EQ(CBstr::ToNarrow(static_cast<const QUOTERECORD*>(own)->bstrSymbol), "MSFT");
  EXPECT_EQ(quotes.Call(L"GetCachedOptionsRecord", {Text(optionSymbol), byRef}, nullptr), DISP_E_TYPEMISMATCH);
  single->pRecInfo->RecordDestroy(own);
  CVariant none;
  EXPECT_EQ(quotes.Call(L"GetSingleQuote", {Text(ibm)}, none.Get()), DISP_E_BADPARAMCOUNT);

  EXPECT_EQ(early->UnadviseAll(&notify), S_OK);
  CVariant disconnect;
  EXPECT_EQ(quotes.Call(L"Disconnect", {}, disconnect.Get()), S_OK);
}

}  // namespace
