// Checks records/vokquote.h against the type library it mirrors. On Windows the test loads the
// compiled library (embedded in this program like in the DLL) and compares every record field's
// name, offset and size, every enumeration member's value, and every method's DISPID and vtable
// offset with the C++ declarations. On Linux it compares the same tables with VokQuote.idl.
#include "records/vokquote.h"

#include <vokquote/version.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#include <regex>
#include <sstream>
#endif

namespace {

struct FieldInfo {
  const char* name;
  std::size_t offset;
  std::size_t size;
};
struct RecordInfo {
  const char* name;
  std::size_t size;
  std::vector<FieldInfo> fields;
};
struct MemberInfo {
  const char* name;
  long value;
};
struct EnumInfo {
  const char* name;
  std::vector<MemberInfo> members;
};
struct MethodInfo {
  const char* name;
  DISPID dispid;
  std::size_t vtableOffset;  // bytes; 0 for dispinterface members
};
struct InterfaceInfo {
  const char* name;
  std::vector<MethodInfo> methods;
};

#define VOK_FIELD(record, field) \
  FieldInfo { #field, offsetof(record, field), sizeof(record::field) }

// The vtable offset of a virtual method, from its pointer to member (Itanium C++ ABI, which both
// GCC targets use: a virtual member pointer holds 1 + the offset in bytes).
template <class Method>
std::size_t VtableOffset(Method method) {
  std::uintptr_t raw[2];
  static_assert(sizeof(method) == sizeof(raw));
  std::memcpy(raw, &method, sizeof raw);
  return raw[0] - 1;
}

const RecordInfo kRecords[] = {
    {"LEVEL2RECORD",
     sizeof(LEVEL2RECORD),
     {
         VOK_FIELD(LEVEL2RECORD, bstrSymbol),
         VOK_FIELD(LEVEL2RECORD, bstrMMID),
         VOK_FIELD(LEVEL2RECORD, bstrSource),
         VOK_FIELD(LEVEL2RECORD, lSize),
         VOK_FIELD(LEVEL2RECORD, dPrice),
         VOK_FIELD(LEVEL2RECORD, side),
         VOK_FIELD(LEVEL2RECORD, bClosed),
         VOK_FIELD(LEVEL2RECORD, UTCTime),
     }},
    {"QUOTERECORD",
     sizeof(QUOTERECORD),
     {
         VOK_FIELD(QUOTERECORD, bstrSymbol),    VOK_FIELD(QUOTERECORD, bstrMarket), VOK_FIELD(QUOTERECORD, bstrCompany),
         VOK_FIELD(QUOTERECORD, bstrUnderlier), VOK_FIELD(QUOTERECORD, dLast),      VOK_FIELD(QUOTERECORD, dBid),
         VOK_FIELD(QUOTERECORD, dAsk),          VOK_FIELD(QUOTERECORD, dPrevClose), VOK_FIELD(QUOTERECORD, dHigh),
         VOK_FIELD(QUOTERECORD, dLow),          VOK_FIELD(QUOTERECORD, dOpen),      VOK_FIELD(QUOTERECORD, dMarginMult),
         VOK_FIELD(QUOTERECORD, dStrikePrice),  VOK_FIELD(QUOTERECORD, lBidSize),   VOK_FIELD(QUOTERECORD, lAskSize),
         VOK_FIELD(QUOTERECORD, lLastSize),     VOK_FIELD(QUOTERECORD, lVolume),    VOK_FIELD(QUOTERECORD, lFlags),
         VOK_FIELD(QUOTERECORD, lContractSize), VOK_FIELD(QUOTERECORD, lExpMonth),  VOK_FIELD(QUOTERECORD, lExpYear),
         VOK_FIELD(QUOTERECORD, UTCDateTime),   VOK_FIELD(QUOTERECORD, tick),       VOK_FIELD(QUOTERECORD, putcall),
         VOK_FIELD(QUOTERECORD, dNegBorrowPct),
     }},
    {"TSRECORD",
     sizeof(TSRECORD),
     {
         VOK_FIELD(TSRECORD, bstrSymbol),
         VOK_FIELD(TSRECORD, bstrExchange),
         VOK_FIELD(TSRECORD, dPrice),
         VOK_FIELD(TSRECORD, lSize),
         VOK_FIELD(TSRECORD, lType),
         VOK_FIELD(TSRECORD, UTCDateTime),
         VOK_FIELD(TSRECORD, type),
         VOK_FIELD(TSRECORD, status),
         VOK_FIELD(TSRECORD, cond),
         VOK_FIELD(TSRECORD, tick),
     }},
    {"OPTIONSRECORD",
     sizeof(OPTIONSRECORD),
     {
         VOK_FIELD(OPTIONSRECORD, bstrSymbol),    VOK_FIELD(OPTIONSRECORD, bstrUnderlier),
         VOK_FIELD(OPTIONSRECORD, dLast),         VOK_FIELD(OPTIONSRECORD, dBid),
         VOK_FIELD(OPTIONSRECORD, dAsk),          VOK_FIELD(OPTIONSRECORD, dPrevClose),
         VOK_FIELD(OPTIONSRECORD, dHigh),         VOK_FIELD(OPTIONSRECORD, dLow),
         VOK_FIELD(OPTIONSRECORD, dOpen),         VOK_FIELD(OPTIONSRECORD, dStrikePrice),
         VOK_FIELD(OPTIONSRECORD, lBidSize),      VOK_FIELD(OPTIONSRECORD, lAskSize),
         VOK_FIELD(OPTIONSRECORD, lLastSize),     VOK_FIELD(OPTIONSRECORD, lVolume),
         VOK_FIELD(OPTIONSRECORD, lExpMonth),     VOK_FIELD(OPTIONSRECORD, lExpYear),
         VOK_FIELD(OPTIONSRECORD, lOpenInterest), VOK_FIELD(OPTIONSRECORD, UTCDateTime),
         VOK_FIELD(OPTIONSRECORD, tick),          VOK_FIELD(OPTIONSRECORD, putcall),
     }},
};

const EnumInfo kEnums[] = {
    {"enumMarketSide",
     {
         {"msBid", msBid},
         {"msAsk", msAsk},
     }},
    {"enumTick",
     {
         {"tickEvenUp", tickEvenUp},
         {"tickDown", tickDown},
         {"tickNone", tickNone},
     }},
    {"enumPutCall",
     {
         {"pcCall", pcCall},
         {"pcPut", pcPut},
         {"pcBoth", pcBoth},
     }},
    {"enumTickType",
     {
         {"ttTradeTick", ttTradeTick},
         {"ttBidTick", ttBidTick},
         {"ttAskTick", ttAskTick},
     }},
    {"enumTickStatus",
     {
         {"tsNormal", tsNormal},
         {"tsFiltered", tsFiltered},
         {"tsOutOfSeq", tsOutOfSeq},
         {"tsDeleted", tsDeleted},
     }},
    {"enumTradingSession",
     {
         {"sessionPremarket", sessionPremarket},
         {"sessionPrimary", sessionPrimary},
         {"sessionPostmarket", sessionPostmarket},
     }},
    {"enumTickCondition",
     {
         {"tcTrade_RegularSale", tcTrade_RegularSale},
         {"tcTrade_Acquistion", tcTrade_Acquistion},
         {"tcTrade_Distribution", tcTrade_Distribution},
         {"tcTrade_Split", tcTrade_Split},
         {"tcTrade_ReservedSale", tcTrade_ReservedSale},
         {"tcTrade_Cash_Sale", tcTrade_Cash_Sale},
         {"tcTrade_NextDaySale", tcTrade_NextDaySale},
         {"tcTrade_SellerSale", tcTrade_SellerSale},
         {"tcTrade_Rule155", tcTrade_Rule155},
         {"tcTrade_SoldLastSale", tcTrade_SoldLastSale},
         {"tcTrade_OpenSale", tcTrade_OpenSale},
         {"tcTrade_OutOfSequence", tcTrade_OutOfSequence},
         {"tcTrade_CancelVol", tcTrade_CancelVol},
         {"tcTrade_CancelLast", tcTrade_CancelLast},
         {"tcTrade_CancelOpen", tcTrade_CancelOpen},
         {"tcTrade_CancelOnly", tcTrade_CancelOnly},
         {"tcTrade_CancelStopped", tcTrade_CancelStopped},
         {"tcTrade_Reopen", tcTrade_Reopen},
         {"tcTrade_Adjusted", tcTrade_Adjusted},
         {"tcTrade_Spread", tcTrade_Spread},
         {"tcTrade_Straddle", tcTrade_Straddle},
         {"tcTrade_Stopped", tcTrade_Stopped},
         {"tcTrade_Bunched", tcTrade_Bunched},
         {"tcTrade_BunchedSold", tcTrade_BunchedSold},
         {"tcTrade_VolumeOnly", tcTrade_VolumeOnly},
         {"tcTrade_FutureTrade", tcTrade_FutureTrade},
         {"tcTrade_Premium", tcTrade_Premium},
         {"tcTrade_MidPrice", tcTrade_MidPrice},
         {"tcTrade_Settlement", tcTrade_Settlement},
         {"tcTrade_FormT", tcTrade_FormT},
         {"tcTrade_LateOpen", tcTrade_LateOpen},
         {"tcTrade_AutoExecute", tcTrade_AutoExecute},
         {"tcTrade_IntradayDetail", tcTrade_IntradayDetail},
         {"tcTrade_OpeningDetail", tcTrade_OpeningDetail},
         {"tcTrade_Rule127", tcTrade_Rule127},
         {"tcTrade_OvernightTrade", tcTrade_OvernightTrade},
         {"tcTrade_DelayedTrade", tcTrade_DelayedTrade},
         {"tcTrade_AgencyCross", tcTrade_AgencyCross},
         {"tcTrade_CrossForward", tcTrade_CrossForward},
         {"tcTrade_FastMarket", tcTrade_FastMarket},
         {"tcTrade_OpenInterest", tcTrade_OpenInterest},
         {"tcTrade_OpenPrice", tcTrade_OpenPrice},
         {"tcTrade_HighPrice", tcTrade_HighPrice},
         {"tcTrade_LowPrice", tcTrade_LowPrice},
         {"tcTrade_SpotPrice", tcTrade_SpotPrice},
         {"tcTrade_IntermarketSweep", tcTrade_IntermarketSweep},
         {"tcTrade_LastSaleTelekurs", tcTrade_LastSaleTelekurs},
         {"tcTrade_X_Dividend", tcTrade_X_Dividend},
         {"tcTrade_OptionInit", tcTrade_OptionInit},
         {"tcTrade_ClosePrice", tcTrade_ClosePrice},
         {"tcTrade_SummaryPrice", tcTrade_SummaryPrice},
         {"tcTrade_YesterdayPrice", tcTrade_YesterdayPrice},
         {"tcTrade_Combo", tcTrade_Combo},
         {"tcTrade_AveragePrice", tcTrade_AveragePrice},
         {"tcTrade_BurstBasket", tcTrade_BurstBasket},
         {"tcTrade_BasketIndexClose", tcTrade_BasketIndexClose},
         {"tcTrade_OddLot", tcTrade_OddLot},
         {"tcQuote_RegularQuote", tcQuote_RegularQuote},
         {"tcQuote_OfferDepth", tcQuote_OfferDepth},
         {"tcQuote_Opening", tcQuote_Opening},
         {"tcQuote_Closing", tcQuote_Closing},
         {"tcQuote_NewsDistribution", tcQuote_NewsDistribution},
         {"tcQuote_FastMarket", tcQuote_FastMarket},
         {"tcQuote_NonFirm", tcQuote_NonFirm},
         {"tcQuote_NewsPending", tcQuote_NewsPending},
         {"tcQuote_DueToRelated", tcQuote_DueToRelated},
         {"tcQuote_OrderImbalance", tcQuote_OrderImbalance},
         {"tcQuote_NoOpenResume", tcQuote_NoOpenResume},
         {"tcQuote_Halted", tcQuote_Halted},
         {"tcQuote_Suspended", tcQuote_Suspended},
         {"tcQuote_OutOfSequence", tcQuote_OutOfSequence},
         {"tcQuote_Restricted", tcQuote_Restricted},
         {"tcQuote_QuoteRequest", tcQuote_QuoteRequest},
         {"tcQuote_QuoteResume", tcQuote_QuoteResume},
         {"tcQuote_TradeResume", tcQuote_TradeResume},
     }},
    {"enumConnectionState",
     {
         {"csILG", csILG},
         {"csDisconnected", csDisconnected},
         {"csConnecting", csConnecting},
         {"csConnected", csConnected},
         {"csLoggingIn", csLoggingIn},
         {"csLoggedIn", csLoggedIn},
         {"csIndeterminate", csIndeterminate},
         {"csMAX", csMAX},
     }},
    {"enumQuoteServiceFlags",
     {
         {"qsfLevelOne", qsfLevelOne},
         {"qsfLevelTwo", qsfLevelTwo},
         {"qsfTimeAndSales", qsfTimeAndSales},
         {"qsfOptions", qsfOptions},
     }},
};

const InterfaceInfo kInterfaces[] = {
    {"IVokQuotesNotify",
     {
         {"OnQuoteData", vok::dispid::OnQuoteData, VtableOffset(&IVokQuotesNotify::OnQuoteData)},
         {"OnLevel2Data", vok::dispid::OnLevel2Data, VtableOffset(&IVokQuotesNotify::OnLevel2Data)},
         {"OnTSData", vok::dispid::OnTSData, VtableOffset(&IVokQuotesNotify::OnTSData)},
         {"OnOptionsData", vok::dispid::OnOptionsData, VtableOffset(&IVokQuotesNotify::OnOptionsData)},
     }},
    {"IVokQuotes",
     {
         {"Connect", vok::dispid::Connect, VtableOffset(&IVokQuotes::Connect)},
         {"AdviseSymbol", vok::dispid::AdviseSymbol, VtableOffset(&IVokQuotes::AdviseSymbol)},
         {"UnadviseSymbol", vok::dispid::UnadviseSymbol, VtableOffset(&IVokQuotes::UnadviseSymbol)},
         {"UnadviseAll", vok::dispid::UnadviseAll, VtableOffset(&IVokQuotes::UnadviseAll)},
         {"Disconnect", vok::dispid::Disconnect, VtableOffset(&IVokQuotes::Disconnect)},
         {"GetCachedQuote", vok::dispid::GetCachedQuote, VtableOffset(&IVokQuotes::GetCachedQuote)},
         {"ConnectionState", vok::dispid::ConnectionState, VtableOffset(&IVokQuotes::get_ConnectionState)},
         {"GetCachedOptionsRecord", vok::dispid::GetCachedOptionsRecord,
          VtableOffset(&IVokQuotes::GetCachedOptionsRecord)},
         {"GetCachedAggregateLevel2Size", vok::dispid::GetCachedAggregateLevel2Size,
          VtableOffset(&IVokQuotes::GetCachedAggregateLevel2Size)},
         {"GetSingleQuote", vok::dispid::GetSingleQuote, VtableOffset(&IVokQuotes::GetSingleQuote)},
         {"ServerName", vok::dispid::ServerName, VtableOffset(&IVokQuotes::get_ServerName)},
         {"RemoteAddress", vok::dispid::RemoteAddress, VtableOffset(&IVokQuotes::get_RemoteAddress)},
     }},
    {"_IVokQuotesEvents",
     {
         {"OnConnect", vok::dispid::OnConnect, 0},
         {"OnClose", vok::dispid::OnClose, 0},
         {"OnLogonSucceed", vok::dispid::OnLogonSucceed, 0},
     }},
};

const char* const kTypeOrder[] = {
    "enumMarketSide",
    "enumTick",
    "enumPutCall",
    "enumTickType",
    "enumTickStatus",
    "enumTradingSession",
    "enumTickCondition",
    "LEVEL2RECORD",
    "QUOTERECORD",
    "TSRECORD",
    "OPTIONSRECORD",
    "enumConnectionState",
    "enumQuoteServiceFlags",
    "IVokQuotesNotify",
    "IVokQuotes",
    "_IVokQuotesEvents",
    "VokQuotes",
    "IVokQuotesSettings",
    "VokQuotesSettings",
    "IRTDUpdateEvent",
    "IRtdServer",
    "VokQuotesRtd",
};

// The settings interface's vtable: properties come in get/put pairs under one name, so the table
// is by vtable slot (after IDispatch's seven) with the invoke kind.
struct SettingsMember {
  const char* name;
  DISPID dispid;
  int invokeKind;  // 1 method, 2 propget, 4 propput
  std::size_t vtableOffset;
};
const SettingsMember kSettingsMembers[] = {
    {"Server", vok::dispid::SettingsServer, 2, VtableOffset(&IVokQuotesSettings::get_Server)},
    {"Server", vok::dispid::SettingsServer, 4, VtableOffset(&IVokQuotesSettings::put_Server)},
    {"UserName", vok::dispid::SettingsUserName, 2, VtableOffset(&IVokQuotesSettings::get_UserName)},
    {"UserName", vok::dispid::SettingsUserName, 4, VtableOffset(&IVokQuotesSettings::put_UserName)},
    {"Password", vok::dispid::SettingsPassword, 4, VtableOffset(&IVokQuotesSettings::put_Password)},
    {"TraceFile", vok::dispid::SettingsTraceFile, 2, VtableOffset(&IVokQuotesSettings::get_TraceFile)},
    {"TraceFile", vok::dispid::SettingsTraceFile, 4, VtableOffset(&IVokQuotesSettings::put_TraceFile)},
    {"TraceLevel", vok::dispid::SettingsTraceLevel, 2, VtableOffset(&IVokQuotesSettings::get_TraceLevel)},
    {"TraceLevel", vok::dispid::SettingsTraceLevel, 4, VtableOffset(&IVokQuotesSettings::put_TraceLevel)},
    {"LogQuotes", vok::dispid::SettingsLogQuotes, 2, VtableOffset(&IVokQuotesSettings::get_LogQuotes)},
    {"LogQuotes", vok::dispid::SettingsLogQuotes, 4, VtableOffset(&IVokQuotesSettings::put_LogQuotes)},
    {"QuotesTestMode", vok::dispid::SettingsQuotesTestMode, 2, VtableOffset(&IVokQuotesSettings::get_QuotesTestMode)},
    {"QuotesTestMode", vok::dispid::SettingsQuotesTestMode, 4, VtableOffset(&IVokQuotesSettings::put_QuotesTestMode)},
    {"Save", vok::dispid::SettingsSave, 1, VtableOffset(&IVokQuotesSettings::Save)},
    {"Version", vok::dispid::SettingsVersion, 2, VtableOffset(&IVokQuotesSettings::get_Version)},
    {"UseTls", vok::dispid::SettingsUseTls, 2, VtableOffset(&IVokQuotesSettings::get_UseTls)},
    {"UseTls", vok::dispid::SettingsUseTls, 4, VtableOffset(&IVokQuotesSettings::put_UseTls)},
    {"TlsCaFile", vok::dispid::SettingsTlsCaFile, 2, VtableOffset(&IVokQuotesSettings::get_TlsCaFile)},
    {"TlsCaFile", vok::dispid::SettingsTlsCaFile, 4, VtableOffset(&IVokQuotesSettings::put_TlsCaFile)},
    {"TlsPinnedCertificate", vok::dispid::SettingsTlsPinnedCertificate, 2,
     VtableOffset(&IVokQuotesSettings::get_TlsPinnedCertificate)},
    {"TlsPinnedCertificate", vok::dispid::SettingsTlsPinnedCertificate, 4,
     VtableOffset(&IVokQuotesSettings::put_TlsPinnedCertificate)},
};

TEST(RecordsTest, VtableSlotsFollowTheBaseInterfaces) {
  // First method after IUnknown's three slots, and after IDispatch's seven.
  EXPECT_EQ(kInterfaces[0].methods[0].vtableOffset, 3 * sizeof(void*));
  EXPECT_EQ(kInterfaces[1].methods[0].vtableOffset, 7 * sizeof(void*));
  for (const InterfaceInfo& iface : kInterfaces) {
    for (std::size_t i = 1; i < iface.methods.size(); ++i) {
      if (iface.methods[i].vtableOffset == 0) continue;
      EXPECT_EQ(iface.methods[i].vtableOffset, iface.methods[i - 1].vtableOffset + sizeof(void*))
          << iface.name << "::" << iface.methods[i].name;
    }
  }
  EXPECT_EQ(VtableOffset(&IVokQuotesPriv::GetUnderlier), 11 * sizeof(void*));
  for (std::size_t i = 0; i < std::size(kSettingsMembers); ++i) {
    EXPECT_EQ(kSettingsMembers[i].vtableOffset, (7 + i) * sizeof(void*)) << kSettingsMembers[i].name;
  }
}

#ifdef _WIN32

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; i < ::SysStringLen(text); ++i) out.push_back(static_cast<char>(text[i]));
  return out;
}

struct TypeAttr {
  ITypeInfo* info;
  TYPEATTR* attr = nullptr;
  explicit TypeAttr(ITypeInfo* i) : info(i) { info->GetTypeAttr(&attr); }
  ~TypeAttr() {
    if (attr != nullptr) info->ReleaseTypeAttr(attr);
  }
};

class RecordsTypeLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    ASSERT_EQ(::LoadTypeLibEx(path, REGKIND_NONE, &m_lib), S_OK);
  }
  void TearDown() override {
    if (m_lib != nullptr) m_lib->Release();
  }
  ITypeInfo* Find(const char* name) {
    for (UINT i = 0; i < m_lib->GetTypeInfoCount(); ++i) {
      BSTR typeName = nullptr;
      m_lib->GetDocumentation(i, &typeName, nullptr, nullptr, nullptr);
      const bool match = Narrow(typeName) == name;
      ::SysFreeString(typeName);
      ITypeInfo* info = nullptr;
      if (match && m_lib->GetTypeInfo(i, &info) == S_OK) return info;
    }
    return nullptr;
  }
  std::string MemberName(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::string result = Narrow(name);
    ::SysFreeString(name);
    return result;
  }
  ITypeLib* m_lib = nullptr;
};

TEST_F(RecordsTypeLibTest, LibraryHoldsItsTypesInOrderWithTheProjectVersion) {
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(m_lib->GetLibAttr(&libAttr), S_OK);
  EXPECT_TRUE(IsEqualGUID(libAttr->guid, LIBID_VOKQUOTELib));
  EXPECT_EQ(libAttr->wMajorVerNum, 2);
  EXPECT_EQ(libAttr->wMinorVerNum, 0);
  m_lib->ReleaseTLibAttr(libAttr);

  BSTR name = nullptr, help = nullptr;
  m_lib->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  EXPECT_EQ(Narrow(name), "VOKQUOTELib");
  EXPECT_EQ(Narrow(help), "VokQuote 2.0 Type Library");
  ::SysFreeString(name);
  ::SysFreeString(help);

  ITypeLib2* lib2 = nullptr;
  ASSERT_EQ(m_lib->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(&lib2)), S_OK);
  VARIANT version;
  ::VariantInit(&version);
  ASSERT_EQ(lib2->GetCustData(GUID_VokQuoteVersionAttribute, &version), S_OK);
  ASSERT_EQ(version.vt, VT_BSTR);
  EXPECT_EQ(Narrow(version.bstrVal), VOKQUOTE_VERSION_STRING);
  ::VariantClear(&version);
  lib2->Release();

  ASSERT_EQ(m_lib->GetTypeInfoCount(), std::size(kTypeOrder));
  for (UINT i = 0; i < std::size(kTypeOrder); ++i) {
    BSTR typeName = nullptr;
    m_lib->GetDocumentation(i, &typeName, nullptr, nullptr, nullptr);
    EXPECT_EQ(Narrow(typeName), kTypeOrder[i]) << i;
    ::SysFreeString(typeName);
  }

  const struct {
    const char* type;
    GUID guid;
    TYPEKIND kind;
  } kinds[] = {
      {"QUOTERECORD", GUID_QUOTERECORD, TKIND_RECORD},
      {"enumConnectionState", GUID_enumConnectionState, TKIND_ENUM},
      {"IVokQuotesNotify", IID_IVokQuotesNotify, TKIND_INTERFACE},
      {"IVokQuotes", IID_IVokQuotes, TKIND_DISPATCH},  // a dual interface reads as its dispatch side
      {"_IVokQuotesEvents", DIID__IVokQuotesEvents, TKIND_DISPATCH},
      {"VokQuotes", CLSID_VokQuotes, TKIND_COCLASS},
      {"IVokQuotesSettings", IID_IVokQuotesSettings, TKIND_DISPATCH},
      {"VokQuotesSettings", CLSID_VokQuotesSettings, TKIND_COCLASS},
  };
  for (const auto& expected : kinds) {
    ITypeInfo* info = Find(expected.type);
    ASSERT_NE(info, nullptr) << expected.type;
    TypeAttr attr(info);
    EXPECT_TRUE(IsEqualGUID(attr.attr->guid, expected.guid)) << expected.type;
    EXPECT_EQ(attr.attr->typekind, expected.kind) << expected.type;
    info->Release();
  }
}

TEST_F(RecordsTypeLibTest, RecordFieldsMatchTheHeader) {
  for (const RecordInfo& record : kRecords) {
    ITypeInfo* info = Find(record.name);
    ASSERT_NE(info, nullptr) << record.name;
    TypeAttr attr(info);
    EXPECT_EQ(attr.attr->typekind, TKIND_RECORD);
    EXPECT_EQ(attr.attr->cbSizeInstance, record.size) << record.name;
    ASSERT_EQ(attr.attr->cVars, record.fields.size()) << record.name;
    for (UINT i = 0; i < attr.attr->cVars; ++i) {
      VARDESC* var = nullptr;
      ASSERT_EQ(info->GetVarDesc(i, &var), S_OK);
      const FieldInfo& field = record.fields[i];
      EXPECT_EQ(MemberName(info, var->memid), field.name) << record.name;
      EXPECT_EQ(var->oInst, field.offset) << record.name << "." << field.name;
      info->ReleaseVarDesc(var);
    }
    info->Release();
  }
}

TEST_F(RecordsTypeLibTest, EnumerationValuesMatchTheHeader) {
  for (const EnumInfo& enumeration : kEnums) {
    ITypeInfo* info = Find(enumeration.name);
    ASSERT_NE(info, nullptr) << enumeration.name;
    TypeAttr attr(info);
    EXPECT_EQ(attr.attr->typekind, TKIND_ENUM);
    ASSERT_EQ(attr.attr->cVars, enumeration.members.size()) << enumeration.name;
    for (UINT i = 0; i < attr.attr->cVars; ++i) {
      VARDESC* var = nullptr;
      ASSERT_EQ(info->GetVarDesc(i, &var), S_OK);
      EXPECT_EQ(MemberName(info, var->memid), enumeration.members[i].name);
      VARIANT value;
      ::VariantInit(&value);
      ASSERT_EQ(::VariantChangeType(&value, var->lpvarValue, 0, VT_I4), S_OK);
      EXPECT_EQ(value.lVal, enumeration.members[i].value) << enumeration.members[i].name;
      info->ReleaseVarDesc(var);
    }
    info->Release();
  }
  ITypeInfo* flags = Find("enumQuoteServiceFlags");
  ASSERT_NE(flags, nullptr);
  BSTR help = nullptr;
  flags->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
  EXPECT_EQ(Narrow(help), "Flags for AdviseSymbol and UnadviseSymbol methods (may be ORred together).");
  ::SysFreeString(help);
  flags->Release();
}

TEST_F(RecordsTypeLibTest, MethodDispidsAndVtableOffsetsMatchTheHeader) {
  for (const InterfaceInfo& iface : kInterfaces) {
    ITypeInfo* info = Find(iface.name);
    ASSERT_NE(info, nullptr) << iface.name;
    // For the dual interface the vtable side carries the slot offsets.
    HREFTYPE vtableRef = 0;
    ITypeInfo* vtableInfo = nullptr;
    if (info->GetRefTypeOfImplType(-1, &vtableRef) == S_OK) info->GetRefTypeInfo(vtableRef, &vtableInfo);
    ITypeInfo* source = vtableInfo != nullptr ? vtableInfo : info;
    std::vector<const MethodInfo*> found;
    {
      TypeAttr attr(source);
      for (UINT i = 0; i < attr.attr->cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        ASSERT_EQ(source->GetFuncDesc(i, &func), S_OK);
        const std::string name = MemberName(source, func->memid);
        for (const MethodInfo& method : iface.methods) {
          if (name != method.name) continue;
          found.push_back(&method);
          EXPECT_EQ(func->memid, method.dispid) << iface.name << "::" << name;
          if (method.vtableOffset != 0) {
            EXPECT_EQ(static_cast<std::size_t>(func->oVft), method.vtableOffset) << iface.name << "::" << name;
          }
        }
        source->ReleaseFuncDesc(func);
      }
    }  // the type attributes go before the type infos are released
    EXPECT_EQ(found.size(), iface.methods.size()) << iface.name;
    if (vtableInfo != nullptr) vtableInfo->Release();
    info->Release();
  }
}

TEST_F(RecordsTypeLibTest, SettingsMembersMatchTheHeader) {
  ITypeInfo* info = Find("IVokQuotesSettings");
  ASSERT_NE(info, nullptr);
  HREFTYPE vtableRef = 0;
  ITypeInfo* vtableInfo = nullptr;
  ASSERT_EQ(info->GetRefTypeOfImplType(-1, &vtableRef), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(vtableRef, &vtableInfo), S_OK);
  {
    TypeAttr attr(vtableInfo);
    ASSERT_EQ(attr.attr->cFuncs, std::size(kSettingsMembers));
    for (UINT i = 0; i < attr.attr->cFuncs; ++i) {
      FUNCDESC* func = nullptr;
      ASSERT_EQ(vtableInfo->GetFuncDesc(i, &func), S_OK);
      const SettingsMember& expected = kSettingsMembers[i];
      EXPECT_EQ(MemberName(vtableInfo, func->memid), expected.name) << i;
      EXPECT_EQ(func->memid, expected.dispid) << expected.name;
      EXPECT_EQ(static_cast<int>(func->invkind), expected.invokeKind) << expected.name;
      EXPECT_EQ(static_cast<std::size_t>(func->oVft), expected.vtableOffset) << expected.name;
      vtableInfo->ReleaseFuncDesc(func);
    }
  }
  vtableInfo->Release();
  info->Release();
}

#else  // Linux: the same tables against the IDL source.

std::string ReadIdl() {
  std::ifstream file(VOK_IDL_PATH);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The body between "<keyword> <name> ... {" and the next "}".
std::string BodyOf(const std::string& idl, const std::string& keyword, const std::string& name) {
  const std::string head = keyword + " " + name;
  std::size_t start = idl.find(head);
  while (start != std::string::npos && !std::isspace(static_cast<unsigned char>(idl[start + head.size()]))) {
    start = idl.find(head, start + 1);
  }
  if (start == std::string::npos) return {};
  const std::size_t open = idl.find('{', start);
  return idl.substr(open + 1, idl.find('}', open) - open - 1);
}

TEST(RecordsIdlTest, HeaderMatchesTheIdl) {
  const std::string idl = ReadIdl();
  ASSERT_FALSE(idl.empty()) << VOK_IDL_PATH;

  std::size_t previous = 0;
  for (const char* type : kTypeOrder) {
    std::smatch match;
    const std::regex declaration(std::string(R"((enum|struct|interface|dispinterface|coclass)\s+)") + type + R"(\s)");
    ASSERT_TRUE(std::regex_search(idl, match, declaration)) << type;
    const auto at = static_cast<std::size_t>(match.position(0));
    EXPECT_GT(at, previous) << type << " out of order";
    previous = at;
  }

  const std::regex fieldPattern(R"((\w+)\s+(\w+);)");
  for (const RecordInfo& record : kRecords) {
    const std::string body = BodyOf(idl, "struct", record.name);
    std::vector<std::string> names;
    for (auto it = std::sregex_iterator(body.begin(), body.end(), fieldPattern); it != std::sregex_iterator(); ++it) {
      names.push_back((*it)[2]);
    }
    ASSERT_EQ(names.size(), record.fields.size()) << record.name;
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(names[i], record.fields[i].name) << record.name;
      if (i > 0) {
        EXPECT_GT(record.fields[i].offset, record.fields[i - 1].offset);
      }
    }
  }

  const std::regex memberPattern(R"((\w+)\s*=\s*(-?\d+))");
  for (const EnumInfo& enumeration : kEnums) {
    const std::string body = BodyOf(idl, "enum", enumeration.name);
    std::size_t i = 0;
    for (auto it = std::sregex_iterator(body.begin(), body.end(), memberPattern); it != std::sregex_iterator();
         ++it, ++i) {
      ASSERT_LT(i, enumeration.members.size()) << enumeration.name;
      EXPECT_EQ((*it)[1], enumeration.members[i].name);
      EXPECT_EQ(std::stol((*it)[2]), enumeration.members[i].value) << enumeration.members[i].name;
    }
    EXPECT_EQ(i, enumeration.members.size()) << enumeration.name;
  }

  const std::regex idPattern(R"(id\((\d+)\)[^\]]*\]\s*(?:HRESULT|void)\s+(\w+)\()");
  for (const InterfaceInfo& iface : kInterfaces) {
    if (iface.methods[0].dispid >= 0x60000000) continue;  // assigned by the compiler, checked on Windows
    const std::string body = BodyOf(idl, iface.name[0] == '_' ? "dispinterface" : "interface", iface.name);
    std::size_t i = 0;
    for (auto it = std::sregex_iterator(body.begin(), body.end(), idPattern); it != std::sregex_iterator(); ++it, ++i) {
      ASSERT_LT(i, iface.methods.size()) << iface.name;
      EXPECT_EQ((*it)[2], iface.methods[i].name);
      EXPECT_EQ(std::stol((*it)[1]), iface.methods[i].dispid) << iface.methods[i].name;
    }
    EXPECT_EQ(i, iface.methods.size()) << iface.name;
  }

  const std::string settings = BodyOf(idl, "interface", "IVokQuotesSettings");
  std::size_t i = 0;
  for (auto it = std::sregex_iterator(settings.begin(), settings.end(), idPattern); it != std::sregex_iterator();
       ++it, ++i) {
    ASSERT_LT(i, std::size(kSettingsMembers));
    EXPECT_EQ((*it)[2], kSettingsMembers[i].name);
    EXPECT_EQ(std::stol((*it)[1]), kSettingsMembers[i].dispid) << kSettingsMembers[i].name;
  }
  EXPECT_EQ(i, std::size(kSettingsMembers));
}

#endif

}  // namespace
