// Checks records/vokquote.h against the compiled type library embedded in this program: every
// number compared comes from the compiler or from the library. Windows only: Linux clients reach
// the interfaces through the header alone, whose layout is asserted where it is declared.
#include "records/vokquote.h"

#include <vokquote/version.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"

namespace {

using vok::CBstr;
using vok::CComPtr;

// A type as C++ declares it, with its record fields, enumeration members or methods in order.
struct Member {
  const char* name;
  long long value;   // a field's offset, a member's value, a method's DISPID
  std::size_t size;  // a field's size, a method's vtable offset (0 in a dispinterface)
  int invokeKind;    // a method's
};
struct Type {
  const char* name;
  GUID guid;
  TYPEKIND kind;  // a dual interface reads as its dispatch side
  std::size_t size;
  std::vector<Member> members;
};

// The byte offset of a virtual method in its vtable: both GCC targets follow the Itanium C++ ABI,
// where a pointer to a virtual member holds 1 + that offset.
template <class M>
std::size_t VtableOffset(M method) {
  std::uintptr_t raw[2];
  static_assert(sizeof(method) == sizeof(raw));
  std::memcpy(raw, &method, sizeof raw);
  return raw[0] - 1;
}

// clang-format off
#define VOK_LEVEL2RECORD(X) X(bstrSymbol) X(bstrMMID) X(bstrSource) X(lSize) X(dPrice) X(side) X(bClosed) X(UTCTime)
#define VOK_QUOTERECORD(X) X(bstrSymbol) X(bstrMarket) X(bstrCompany) X(bstrUnderlier) X(dLast) X(dBid) X(dAsk) \
  X(dPrevClose) X(dHigh) X(dLow) X(dOpen) X(dMarginMult) X(dStrikePrice) X(lBidSize) X(lAskSize) X(lLastSize) \
  X(lVolume) X(lFlags) X(lContractSize) X(lExpMonth) X(lExpYear) X(UTCDateTime) X(tick) X(putcall) X(dNegBorrowPct)
#define VOK_TSRECORD(X) X(bstrSymbol) X(bstrExchange) X(dPrice) X(lSize) X(lType) X(UTCDateTime) X(type) X(status) \
  X(cond) X(tick)
#define VOK_OPTIONSRECORD(X) X(bstrSymbol) X(bstrUnderlier) X(dLast) X(dBid) X(dAsk) X(dPrevClose) X(dHigh) X(dLow) \
  X(dOpen) X(dStrikePrice) X(lBidSize) X(lAskSize) X(lLastSize) X(lVolume) X(lExpMonth) X(lExpYear) \
  X(lOpenInterest) X(UTCDateTime) X(tick) X(putcall)

#define VOK_enumMarketSide(X) X(msBid) X(msAsk)
#define VOK_enumTick(X) X(tickEvenUp) X(tickDown) X(tickNone)
#define VOK_enumPutCall(X) X(pcCall) X(pcPut) X(pcBoth)
#define VOK_enumTickType(X) X(ttTradeTick) X(ttBidTick) X(ttAskTick)
#define VOK_enumTickStatus(X) X(tsNormal) X(tsFiltered) X(tsOutOfSeq) X(tsDeleted)
#define VOK_enumTradingSession(X) X(sessionPremarket) X(sessionPrimary) X(sessionPostmarket)
#define VOK_enumTickCondition(X) X(tcTrade_RegularSale) X(tcTrade_Acquistion) X(tcTrade_Distribution) \
  X(tcTrade_Split) X(tcTrade_ReservedSale) X(tcTrade_Cash_Sale) X(tcTrade_NextDaySale) X(tcTrade_SellerSale) \
  X(tcTrade_Rule155) X(tcTrade_SoldLastSale) X(tcTrade_OpenSale) X(tcTrade_OutOfSequence) X(tcTrade_CancelVol) \
  X(tcTrade_CancelLast) X(tcTrade_CancelOpen) X(tcTrade_CancelOnly) X(tcTrade_CancelStopped) X(tcTrade_Reopen) \
  X(tcTrade_Adjusted) X(tcTrade_Spread) X(tcTrade_Straddle) X(tcTrade_Stopped) X(tcTrade_Bunched) \
  X(tcTrade_BunchedSold) X(tcTrade_VolumeOnly) X(tcTrade_FutureTrade) X(tcTrade_Premium) X(tcTrade_MidPrice) \
  X(tcTrade_Settlement) X(tcTrade_FormT) X(tcTrade_LateOpen) X(tcTrade_AutoExecute) X(tcTrade_IntradayDetail) \
  X(tcTrade_OpeningDetail) X(tcTrade_Rule127) X(tcTrade_OvernightTrade) X(tcTrade_DelayedTrade) \
  X(tcTrade_AgencyCross) X(tcTrade_CrossForward) X(tcTrade_FastMarket) X(tcTrade_OpenInterest) \
  X(tcTrade_OpenPrice) X(tcTrade_HighPrice) X(tcTrade_LowPrice) X(tcTrade_SpotPrice) X(tcTrade_IntermarketSweep) \
  X(tcTrade_LastSaleTelekurs) X(tcTrade_X_Dividend) X(tcTrade_OptionInit) X(tcTrade_ClosePrice) \
  X(tcTrade_SummaryPrice) X(tcTrade_YesterdayPrice) X(tcTrade_Combo) X(tcTrade_AveragePrice) \
  X(tcTrade_BurstBasket) X(tcTrade_BasketIndexClose) X(tcTrade_OddLot) X(tcQuote_RegularQuote) \
  X(tcQuote_OfferDepth) X(tcQuote_Opening) X(tcQuote_Closing) X(tcQuote_NewsDistribution) X(tcQuote_FastMarket) \
  X(tcQuote_NonFirm) X(tcQuote_NewsPending) X(tcQuote_DueToRelated) X(tcQuote_OrderImbalance) \
  X(tcQuote_NoOpenResume) X(tcQuote_Halted) X(tcQuote_Suspended) X(tcQuote_OutOfSequence) X(tcQuote_Restricted) \
  X(tcQuote_QuoteRequest) X(tcQuote_QuoteResume) X(tcQuote_TradeResume)
#define VOK_enumConnectionState(X) X(csILG) X(csDisconnected) X(csConnecting) X(csConnected) X(csLoggingIn) \
  X(csLoggedIn) X(csIndeterminate) X(csMAX)
#define VOK_enumQuoteServiceFlags(X) X(qsfLevelOne) X(qsfLevelTwo) X(qsfTimeAndSales) X(qsfOptions)

// Methods by invoke kind: M a method, G a property getter, P a property setter.
#define VOK_IVokQuotesNotify(X) X(M, OnQuoteData) X(M, OnLevel2Data) X(M, OnTSData) X(M, OnOptionsData)
#define VOK_IVokQuotes(X) X(M, Connect) X(M, AdviseSymbol) X(M, UnadviseSymbol) X(M, UnadviseAll) X(M, Disconnect) \
  X(M, GetCachedQuote) X(G, ConnectionState) X(M, GetCachedOptionsRecord) X(M, GetCachedAggregateLevel2Size) \
  X(M, GetSingleQuote) X(G, ServerName) X(G, RemoteAddress)
#define VOK_IVokQuotesSettings(X) X(G, Server) X(P, Server) X(G, UserName) X(P, UserName) X(P, Password) \
  X(G, TraceFile) X(P, TraceFile) X(G, TraceLevel) X(P, TraceLevel) X(G, LogQuotes) X(P, LogQuotes) \
  X(G, QuotesTestMode) X(P, QuotesTestMode) X(M, Save) X(G, Version) X(G, UseTls) X(P, UseTls) X(G, TlsCaFile) \
  X(P, TlsCaFile) X(G, TlsPinnedCertificate) X(P, TlsPinnedCertificate) \
  X(G, ImmediateDelivery) X(P, ImmediateDelivery) X(G, CaptureFile) X(P, CaptureFile)
#define VOK_IVokQuotesEvents(X) X(OnConnect) X(OnClose) X(OnLogonSucceed)
#define VOK_IRTDUpdateEvent(X) X(M, UpdateNotify) X(G, HeartbeatInterval) X(P, HeartbeatInterval) X(M, Disconnect)
#define VOK_IRtdServer(X) X(M, ServerStart) X(M, ConnectData) X(M, RefreshData) X(M, DisconnectData) \
  X(M, Heartbeat) X(M, ServerTerminate)

#define VOK_FIELD(f) Member{#f, offsetof(R, f), sizeof(R::f), 0},
#define VOK_RECORD(T) [] { using R = T; return Type{#T, GUID_##T, TKIND_RECORD, sizeof(T), {VOK_##T(VOK_FIELD)}}; }()
#define VOK_VALUE(m) Member{#m, m, 0, 0},
#define VOK_ENUM(T) Type{#T, GUID_##T, TKIND_ENUM, 0, {VOK_##T(VOK_VALUE)}}
#define VOK_KIND_M INVOKE_FUNC
#define VOK_KIND_G INVOKE_PROPERTYGET
#define VOK_KIND_P INVOKE_PROPERTYPUT
#define VOK_SLOT_M(name) &I::name
#define VOK_SLOT_G(name) &I::get_##name
#define VOK_SLOT_P(name) &I::put_##name
#define VOK_METHOD(kind, name) Member{#name, vok::dispid::name, VtableOffset(VOK_SLOT_##kind(name)), VOK_KIND_##kind},
#define VOK_SETTING(kind, name) \
  Member{#name, vok::dispid::Settings##name, VtableOffset(VOK_SLOT_##kind(name)), VOK_KIND_##kind},
#define VOK_RTD(kind, name) Member{#name, vok::dispid::Rtd##name, VtableOffset(VOK_SLOT_##kind(name)), VOK_KIND_##kind},
#define VOK_EVENT(name) Member{#name, vok::dispid::name, 0, INVOKE_FUNC},
#define VOK_INTERFACE(T, kind, X) [] { using I = T; return Type{#T, IID_##T, kind, 0, {VOK_##T(X)}}; }()

const Type kTypes[] = {
    VOK_ENUM(enumMarketSide), VOK_ENUM(enumTick), VOK_ENUM(enumPutCall), VOK_ENUM(enumTickType),
    VOK_ENUM(enumTickStatus), VOK_ENUM(enumTradingSession), VOK_ENUM(enumTickCondition),
    VOK_ENUM(enumConnectionState), VOK_ENUM(enumQuoteServiceFlags),
    VOK_RECORD(LEVEL2RECORD), VOK_RECORD(QUOTERECORD), VOK_RECORD(TSRECORD), VOK_RECORD(OPTIONSRECORD),
    VOK_INTERFACE(IVokQuotesNotify, TKIND_INTERFACE, VOK_METHOD),
    VOK_INTERFACE(IVokQuotes, TKIND_DISPATCH, VOK_METHOD),
    VOK_INTERFACE(IVokQuotesSettings, TKIND_DISPATCH, VOK_SETTING),
    Type{"_IVokQuotesEvents", DIID__IVokQuotesEvents, TKIND_DISPATCH, 0, {VOK_IVokQuotesEvents(VOK_EVENT)}},
    Type{"VokQuotes", CLSID_VokQuotes, TKIND_COCLASS, 0, {}},
    Type{"VokQuotesSettings", CLSID_VokQuotesSettings, TKIND_COCLASS, 0, {}},
    VOK_INTERFACE(IRTDUpdateEvent, TKIND_INTERFACE, VOK_RTD),
    VOK_INTERFACE(IRtdServer, TKIND_INTERFACE, VOK_RTD),
    Type{"VokQuotesRtd", CLSID_VokQuotesRtd, TKIND_COCLASS, 0, {}},
};
// clang-format on

// Type descriptions go back to the ITypeInfo that handed them out.
template <class Desc>
using CDesc = std::unique_ptr<Desc, std::function<void(Desc*)>>;
CDesc<TYPEATTR> AttrOf(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  return {attr, [info](TYPEATTR* p) { info->ReleaseTypeAttr(p); }};
}
CDesc<VARDESC> VarOf(ITypeInfo* info, UINT i) {
  VARDESC* var = nullptr;
  info->GetVarDesc(i, &var);
  return {var, [info](VARDESC* p) { info->ReleaseVarDesc(p); }};
}
CDesc<FUNCDESC> FuncOf(ITypeInfo* info, UINT i) {
  FUNCDESC* func = nullptr;
  info->GetFuncDesc(i, &func);
  return {func, [info](FUNCDESC* p) { info->ReleaseFuncDesc(p); }};
}

std::string NameOf(ITypeInfo* info, MEMBERID id) {
  CBstr name;
  info->GetDocumentation(id, name.Put(), nullptr, nullptr, nullptr);
  return name.ToNarrow();
}

// The size of a field's type as the library declares it.
std::size_t SizeOf(ITypeInfo* info, const TYPEDESC& type) {
  CComPtr<ITypeInfo> ref;
  switch (type.vt) {
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_I4:
      return 4;
    case VT_R8:
    case VT_DATE:
      return 8;
    case VT_BOOL:
      return 2;
    case VT_USERDEFINED:
      if (info->GetRefTypeInfo(type.hreftype, ref.Put()) != S_OK) return 0;
      return AttrOf(ref.Get())->cbSizeInstance;
    default:
      return 0;
  }
}

TEST(RecordsTest, LibraryHoldsExactlyTheHeadersTypesAndMembersAndTheProjectVersion) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  CComPtr<ITypeLib> lib;
  ASSERT_EQ(::LoadTypeLibEx(path, REGKIND_NONE, lib.Put()), S_OK);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
  EXPECT_TRUE(IsEqualGUID(libAttr->guid, LIBID_VOKQUOTELib));
  lib->ReleaseTLibAttr(libAttr);
  CComPtr<ITypeLib2> lib2;
  ASSERT_EQ(lib.QueryInterface(IID_ITypeLib2, lib2), S_OK);
  VARIANT version;
  ::VariantInit(&version);
  ASSERT_EQ(lib2->GetCustData(GUID_VokQuoteVersionAttribute, &version), S_OK);
  ASSERT_EQ(version.vt, VT_BSTR);
  EXPECT_EQ(CBstr::ToNarrow(version.bstrVal), VOKQUOTE_VERSION_STRING);
  ::VariantClear(&version);

  // Each type found by its GUID with its name and kind, and as many types: nothing else. Records:
  // each field's name, offset and size; enumerations: each member's name and value; interfaces:
  // each method's name, invoke kind, DISPID and vtable offset.
  EXPECT_EQ(lib->GetTypeInfoCount(), std::size(kTypes));
  for (const Type& type : kTypes) {
    SCOPED_TRACE(type.name);
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(type.guid, info.Put()), S_OK);
    EXPECT_EQ(NameOf(info.Get(), MEMBERID_NIL), type.name);
    EXPECT_EQ(AttrOf(info.Get())->typekind, type.kind);
    if (type.kind == TKIND_COCLASS) continue;
    // A dual interface's vtable side carries the slot offsets and only its own methods.
    HREFTYPE vtableRef = 0;
    if (type.kind != TKIND_RECORD && type.kind != TKIND_ENUM && info->GetRefTypeOfImplType(-1, &vtableRef) == S_OK) {
      CComPtr<ITypeInfo> vtable;
      ASSERT_EQ(info->GetRefTypeInfo(vtableRef, vtable.Put()), S_OK);
      info = vtable;
    }
    const auto attr = AttrOf(info.Get());
    const bool methods = type.kind == TKIND_INTERFACE || type.kind == TKIND_DISPATCH;
    if (type.kind == TKIND_RECORD) EXPECT_EQ(attr->cbSizeInstance, type.size);
    ASSERT_EQ(methods ? attr->cFuncs : attr->cVars, type.members.size());
    for (UINT i = 0; i < type.members.size(); ++i) {
      const Member& member = type.members[i];
      if (methods) {
        const auto func = FuncOf(info.Get(), i);
        EXPECT_EQ(NameOf(info.Get(), func->memid), member.name) << i;
        EXPECT_EQ(func->invkind, member.invokeKind) << member.name;
        EXPECT_EQ(func->memid, member.value) << member.name;
        if (member.size != 0) EXPECT_EQ(static_cast<std::size_t>(func->oVft), member.size) << member.name;
        continue;
      }
      const auto var = VarOf(info.Get(), i);
      EXPECT_EQ(NameOf(info.Get(), var->memid), member.name);
      if (type.kind == TKIND_RECORD) {
        EXPECT_EQ(var->oInst, member.value) << member.name;
        EXPECT_EQ(SizeOf(info.Get(), var->elemdescVar.tdesc), member.size) << member.name;
      } else {
        VARIANT value;
        ::VariantInit(&value);
        ASSERT_EQ(::VariantChangeType(&value, var->lpvarValue, 0, VT_I4), S_OK);
        EXPECT_EQ(value.lVal, member.value) << member.name;
      }
    }
  }
}

}  // namespace
