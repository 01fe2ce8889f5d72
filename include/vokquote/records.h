/* VokQuote's public types on both platforms: the records and enumerations of the VOKQUOTELib type
   library, its interfaces in vtable slot order, their DISPIDs and GUIDs, and the private settings
   interface IVokQuotesPriv. The records are a binary contract with separately compiled clients.
   GUIDs, enumerations and records compile as C; the interfaces and DISPIDs need C++. */
#ifndef VOKQUOTE_RECORDS_H
#define VOKQUOTE_RECORDS_H

#include <vokquote/com.h>

// ---- GUIDs (fixed; the type library uses the same values) ----
VOK_DEFINE_GUID(LIBID_VOKQUOTELib, 0x9E35848E, 0xCBB2, 0x4A29, 0x88, 0x1A, 0x69, 0x44, 0xBB, 0xE5, 0x93, 0xD5);
VOK_DEFINE_GUID(GUID_enumMarketSide, 0x4C7CA166, 0x3A72, 0x4027, 0xAB, 0x71, 0xE1, 0x6C, 0x2D, 0xD5, 0x4B, 0xF9);
VOK_DEFINE_GUID(GUID_enumTick, 0x5FFD0685, 0x14C8, 0x4FBB, 0xBB, 0x75, 0xC5, 0x6D, 0xE1, 0x19, 0xA9, 0x8C);
VOK_DEFINE_GUID(GUID_enumPutCall, 0xD398AD41, 0x39DC, 0x47F1, 0x9C, 0x9B, 0x4A, 0xB8, 0x60, 0x01, 0xDB, 0xA4);
VOK_DEFINE_GUID(GUID_enumTickType, 0x66D08131, 0x5DF5, 0x418A, 0xA5, 0x66, 0xC5, 0x86, 0xB3, 0x99, 0x4B, 0x3C);
VOK_DEFINE_GUID(GUID_enumTickStatus, 0xFEB57F0D, 0x3570, 0x4E1A, 0xBA, 0x91, 0x28, 0xAC, 0xA5, 0x97, 0x60, 0xB6);
VOK_DEFINE_GUID(GUID_enumTradingSession, 0x486A95E1, 0x0232, 0x4741, 0xBE, 0x6A, 0xC1, 0xBF, 0xD3, 0xCA, 0xCB, 0xC9);
VOK_DEFINE_GUID(GUID_enumTickCondition, 0x51DC2B5E, 0x43E1, 0x446C, 0x8D, 0x22, 0x59, 0xED, 0x79, 0x2B, 0x22, 0x2B);
VOK_DEFINE_GUID(GUID_LEVEL2RECORD, 0x70CAADBF, 0xF57F, 0x43A7, 0xBA, 0xD4, 0x0C, 0x8D, 0xF3, 0x2C, 0xC2, 0x15);
VOK_DEFINE_GUID(GUID_QUOTERECORD, 0x5660D4A8, 0x4668, 0x435B, 0xB5, 0xB7, 0x7B, 0x62, 0x18, 0xAB, 0x96, 0x3D);
VOK_DEFINE_GUID(GUID_TSRECORD, 0x1715F747, 0xCC46, 0x43B0, 0x82, 0x7A, 0x2A, 0x7B, 0x3F, 0xD9, 0x4F, 0x5C);
VOK_DEFINE_GUID(GUID_OPTIONSRECORD, 0x15FDD50E, 0x797E, 0x4AE6, 0xB2, 0xC2, 0xF6, 0x02, 0x1A, 0x92, 0x46, 0xD7);
VOK_DEFINE_GUID(GUID_enumConnectionState, 0x71CC3285, 0xFA9A, 0x4766, 0x81, 0xC7, 0x4C, 0xD4, 0x79, 0x5B, 0x8B, 0x4F);
VOK_DEFINE_GUID(GUID_enumQuoteServiceFlags, 0xAA7C33E1, 0x0875, 0x485B, 0x99, 0x82, 0x1D, 0x95, 0x1E, 0x90, 0xAB, 0xAC);
VOK_DEFINE_GUID(IID_IVokQuotesNotify, 0xDD1C99E1, 0xCF17, 0x4103, 0x99, 0xCF, 0x2F, 0x69, 0x47, 0x44, 0x25, 0x2E);
VOK_DEFINE_GUID(IID_IVokQuotes, 0xD44C0635, 0x1482, 0x45F8, 0xB8, 0x5A, 0x47, 0x9A, 0xE8, 0xEA, 0x46, 0x34);
VOK_DEFINE_GUID(DIID__IVokQuotesEvents, 0x94AD3427, 0xA423, 0x439D, 0x96, 0xAE, 0x28, 0x01, 0x49, 0xFF, 0xFA, 0xD3);
VOK_DEFINE_GUID(CLSID_VokQuotes, 0x466E9EDA, 0xE060, 0x41BE, 0xB1, 0x4F, 0x8D, 0xA1, 0xCA, 0xB8, 0xEC, 0xEF);
VOK_DEFINE_GUID(IID_IVokQuotesSettings, 0x3F0C7A52, 0x8B1E, 0x4D6F, 0xA2, 0xC9, 0x5E, 0x7D, 0x1B, 0x4A, 0x9C, 0x30);
VOK_DEFINE_GUID(CLSID_VokQuotesSettings, 0x8D2B6E14, 0x5A3F, 0x4C7B, 0xB9, 0xE1, 0x0F, 0x6A, 0x2D, 0x8C, 0x4E, 0x57);
/* The custom attribute of the library that carries the project version text. */
VOK_DEFINE_GUID(GUID_VokQuoteVersionAttribute, 0x0B6E2F51, 0x7C3A, 0x4E0B, 0x9D, 0x54, 0x2A, 0x8F, 0x1C, 0x6E, 0x3B,
                0x71);
VOK_DEFINE_GUID(IID_IVokQuotesPriv, 0xB28A9F1D, 0x747E, 0x4456, 0x80, 0x83, 0xFC, 0x36, 0x9D, 0x02, 0x5B, 0x9F);
/* The real-time data server class and the spreadsheet host's interfaces it speaks (their public IIDs). */
VOK_DEFINE_GUID(CLSID_VokQuotesRtd, 0x99C80B67, 0xD319, 0x4C67, 0xBA, 0xE2, 0x53, 0x85, 0xF0, 0x36, 0xE8, 0x12);
VOK_DEFINE_GUID(IID_IRtdServer, 0xEC0E6191, 0xDB51, 0x11D3, 0x8F, 0x3E, 0x00, 0xC0, 0x4F, 0x36, 0x51, 0xB8);
VOK_DEFINE_GUID(IID_IRTDUpdateEvent, 0xA43788C1, 0xD91B, 0x11D3, 0x8F, 0x39, 0x00, 0xC0, 0x4F, 0x36, 0x51, 0xB8);

// ---- Enumerations (all 32-bit signed) ----
// clang-format off
typedef enum enumMarketSide VOK_ENUM_BASE(int32_t) {
  msBid = 1,
  msAsk = 2,
} enumMarketSide;
typedef enum enumTick VOK_ENUM_BASE(int32_t) {
  tickEvenUp = 0,
  tickDown = 1,
  tickNone = 2,
} enumTick;
typedef enum enumPutCall VOK_ENUM_BASE(int32_t) {
  pcCall = 0,
  pcPut = 1,
  pcBoth = 2,
} enumPutCall;
typedef enum enumTickType VOK_ENUM_BASE(int32_t) {
  ttTradeTick = 0,
  ttBidTick = 1,
  ttAskTick = 2,
} enumTickType;
typedef enum enumTickStatus VOK_ENUM_BASE(int32_t) {
  tsNormal = 0,
  tsFiltered = 1,
  tsOutOfSeq = 2,
  tsDeleted = 3,
} enumTickStatus;
typedef enum enumTradingSession VOK_ENUM_BASE(int32_t) {
  sessionPremarket = 0,
  sessionPrimary = 1,
  sessionPostmarket = 2,
} enumTradingSession;

// Trade conditions run from 0 without gaps; quote conditions have fixed values with gaps.
typedef enum enumTickCondition VOK_ENUM_BASE(int32_t) {
  tcTrade_RegularSale = 0,
  tcTrade_Acquistion = 1,
  tcTrade_Distribution = 2,
  tcTrade_Split = 3,
  tcTrade_ReservedSale = 4,
  tcTrade_Cash_Sale = 5,
  tcTrade_NextDaySale = 6,
  tcTrade_SellerSale = 7,
  tcTrade_Rule155 = 8,
  tcTrade_SoldLastSale = 9,
  tcTrade_OpenSale = 10,
  tcTrade_OutOfSequence = 11,
  tcTrade_CancelVol = 12,
  tcTrade_CancelLast = 13,
  tcTrade_CancelOpen = 14,
  tcTrade_CancelOnly = 15,
  tcTrade_CancelStopped = 16,
  tcTrade_Reopen = 17,
  tcTrade_Adjusted = 18,
  tcTrade_Spread = 19,
  tcTrade_Straddle = 20,
  tcTrade_Stopped = 21,
  tcTrade_Bunched = 22,
  tcTrade_BunchedSold = 23,
  tcTrade_VolumeOnly = 24,
  tcTrade_FutureTrade = 25,
  tcTrade_Premium = 26,
  tcTrade_MidPrice = 27,
  tcTrade_Settlement = 28,
  tcTrade_FormT = 29,
  tcTrade_LateOpen = 30,
  tcTrade_AutoExecute = 31,
  tcTrade_IntradayDetail = 32,
  tcTrade_OpeningDetail = 33,
  tcTrade_Rule127 = 34,
  tcTrade_OvernightTrade = 35,
  tcTrade_DelayedTrade = 36,
  tcTrade_AgencyCross = 37,
  tcTrade_CrossForward = 38,
  tcTrade_FastMarket = 39,
  tcTrade_OpenInterest = 40,
  tcTrade_OpenPrice = 41,
  tcTrade_HighPrice = 42,
  tcTrade_LowPrice = 43,
  tcTrade_SpotPrice = 44,
  tcTrade_IntermarketSweep = 45,
  tcTrade_LastSaleTelekurs = 46,
  tcTrade_X_Dividend = 47,
  tcTrade_OptionInit = 48,
  tcTrade_ClosePrice = 49,
  tcTrade_SummaryPrice = 50,
  tcTrade_YesterdayPrice = 51,
  tcTrade_Combo = 52,
  tcTrade_AveragePrice = 53,
  tcTrade_BurstBasket = 54,
  tcTrade_BasketIndexClose = 55,
  tcTrade_OddLot = 56,
  tcQuote_RegularQuote = 100,
  tcQuote_OfferDepth = 101,
  tcQuote_Opening = 104,
  tcQuote_Closing = 105,
  tcQuote_NewsDistribution = 106,
  tcQuote_FastMarket = 107,
  tcQuote_NonFirm = 110,
  tcQuote_NewsPending = 111,
  tcQuote_DueToRelated = 112,
  tcQuote_OrderImbalance = 114,
  tcQuote_NoOpenResume = 115,
  tcQuote_Halted = 128,
  tcQuote_Suspended = 136,
  tcQuote_OutOfSequence = 137,
  tcQuote_Restricted = 138,
  tcQuote_QuoteRequest = 149,
  tcQuote_QuoteResume = 150,
  tcQuote_TradeResume = 151,
} enumTickCondition;

typedef enum enumConnectionState VOK_ENUM_BASE(int32_t) {
  csILG = -1,
  csDisconnected = 0,
  csConnecting = 1,
  csConnected = 2,
  csLoggingIn = 3,
  csLoggedIn = 4,
  csIndeterminate = 5,
  csMAX = 6,
} enumConnectionState;

// Bit flags; an lServiceFlags argument ORs several together.
typedef enum enumQuoteServiceFlags VOK_ENUM_BASE(int32_t) {
  qsfLevelOne = 1,
  qsfLevelTwo = 2,
  qsfTimeAndSales = 4,
  qsfOptions = 8,
} enumQuoteServiceFlags;
// clang-format on

// ---- Records: fields in order, each aligned to its size, records aligned to 8 ----
typedef struct LEVEL2RECORD {
  BSTR bstrSymbol;
  BSTR bstrMMID;
  BSTR bstrSource;
  LONG lSize;
  double dPrice;
  enumMarketSide side;
  VARIANT_BOOL bClosed;
  DATE UTCTime;
} LEVEL2RECORD;

typedef struct QUOTERECORD {
  BSTR bstrSymbol;  // null: the record is empty
  BSTR bstrMarket;
  BSTR bstrCompany;
  BSTR bstrUnderlier;
  double dLast;
  double dBid;
  double dAsk;
  double dPrevClose;
  double dHigh;
  double dLow;
  double dOpen;
  double dMarginMult;
  double dStrikePrice;
  LONG lBidSize;
  LONG lAskSize;
  LONG lLastSize;
  LONG lVolume;
  LONG lFlags;
  LONG lContractSize;
  LONG lExpMonth;
  LONG lExpYear;
  DATE UTCDateTime;
  enumTick tick;
  enumPutCall putcall;
  double dNegBorrowPct;
} QUOTERECORD;

typedef struct TSRECORD {
  BSTR bstrSymbol;
  BSTR bstrExchange;
  double dPrice;
  LONG lSize;
  LONG lType;
  DATE UTCDateTime;
  enumTickType type;
  enumTickStatus status;
  enumTickCondition cond;
  enumTick tick;
} TSRECORD;

typedef struct OPTIONSRECORD {
  BSTR bstrSymbol;
  BSTR bstrUnderlier;
  double dLast;
  double dBid;
  double dAsk;
  double dPrevClose;
  double dHigh;
  double dLow;
  double dOpen;
  double dStrikePrice;
  LONG lBidSize;
  LONG lAskSize;
  LONG lLastSize;
  LONG lVolume;
  LONG lExpMonth;
  LONG lExpYear;
  LONG lOpenInterest;
  DATE UTCDateTime;
  enumTick tick;
  enumPutCall putcall;
} OPTIONSRECORD;

#ifdef __cplusplus

// ---- Interfaces, methods in vtable slot order ----

// Implemented by clients; handed to AdviseSymbol. Each record belongs to the component and is
// valid only during the call.
struct IVokQuotesNotify : public IUnknown {
  STDMETHOD(OnQuoteData)(QUOTERECORD* pRec) PURE;
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* pRec) PURE;
  STDMETHOD(OnTSData)(TSRECORD* pRec) PURE;
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* pRec) PURE;
};

// The service object's dual interface.
struct IVokQuotes : public IDispatch {
  STDMETHOD(Connect)(LONG* plRetVal) PURE;
  STDMETHOD(AdviseSymbol)(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) PURE;
  STDMETHOD(UnadviseSymbol)(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) PURE;
  STDMETHOD(UnadviseAll)(IVokQuotesNotify* pNotify) PURE;
  STDMETHOD(Disconnect)() PURE;
  STDMETHOD(GetCachedQuote)(BSTR bstrSymbol, QUOTERECORD* pRec) PURE;
  STDMETHOD(get_ConnectionState)(enumConnectionState* pVal) PURE;
  STDMETHOD(GetCachedOptionsRecord)(BSTR bstrSymbol, OPTIONSRECORD* pRec) PURE;
  STDMETHOD(GetCachedAggregateLevel2Size)(BSTR bstrSymbol, double dPrice, enumMarketSide side, LONG* pVal) PURE;
  STDMETHOD(GetSingleQuote)(BSTR bstrSymbol, LONG lTimeout, QUOTERECORD* pRec) PURE;
  STDMETHOD(get_ServerName)(BSTR* pVal) PURE;
  STDMETHOD(get_RemoteAddress)(BSTR* pVal) PURE;
};

// The event sink interface: a dispinterface, so sinks are called through IDispatch::Invoke with
// the DISPIDs in vok::dispid.
struct _IVokQuotesEvents : public IDispatch {};

// Private settings of the service object; reached by QueryInterface, not in the type library.
struct IVokQuotesPriv : public IUnknown {
  STDMETHOD(SetNegBorrowPct)(BSTR symbol, double percentage) PURE;
  STDMETHOD(SetRemoteAddress)(BSTR address) PURE;
  STDMETHOD(get_Port)(LONG* pVal) PURE;
  STDMETHOD(put_Port)(LONG newVal) PURE;
  STDMETHOD(put_Password)(BSTR newVal) PURE;
  STDMETHOD(get_UserName)(BSTR* pVal) PURE;
  STDMETHOD(put_UserName)(BSTR newVal) PURE;
  STDMETHOD(get_QuotePermissions)(ULONGLONG* pVal) PURE;
  STDMETHOD(GetUnderlier)(BSTR symbol, BSTR* pVal) PURE;
};

// The per-user settings of the component (class VokQuotesSettings): the connection defaults a
// service object uses when its host sets none, the trace settings and the TLS settings.
struct IVokQuotesSettings : public IDispatch {
  STDMETHOD(get_Server)(BSTR* pVal) PURE;
  STDMETHOD(put_Server)(BSTR newVal) PURE;
  STDMETHOD(get_UserName)(BSTR* pVal) PURE;
  STDMETHOD(put_UserName)(BSTR newVal) PURE;
  STDMETHOD(put_Password)(BSTR newVal) PURE;
  STDMETHOD(get_TraceFile)(BSTR* pVal) PURE;
  STDMETHOD(put_TraceFile)(BSTR newVal) PURE;
  STDMETHOD(get_TraceLevel)(LONG* pVal) PURE;
  STDMETHOD(put_TraceLevel)(LONG newVal) PURE;
  STDMETHOD(get_LogQuotes)(VARIANT_BOOL* pVal) PURE;
  STDMETHOD(put_LogQuotes)(VARIANT_BOOL newVal) PURE;
  STDMETHOD(get_QuotesTestMode)(VARIANT_BOOL* pVal) PURE;
  STDMETHOD(put_QuotesTestMode)(VARIANT_BOOL newVal) PURE;
  STDMETHOD(Save)() PURE;
  STDMETHOD(get_Version)(BSTR* pVal) PURE;
  STDMETHOD(get_UseTls)(VARIANT_BOOL* pVal) PURE;
  STDMETHOD(put_UseTls)(VARIANT_BOOL newVal) PURE;
  STDMETHOD(get_TlsCaFile)(BSTR* pVal) PURE;
  STDMETHOD(put_TlsCaFile)(BSTR newVal) PURE;
  STDMETHOD(get_TlsPinnedCertificate)(BSTR* pVal) PURE;
  STDMETHOD(put_TlsPinnedCertificate)(BSTR newVal) PURE;
  STDMETHOD(get_ImmediateDelivery)(VARIANT_BOOL* pVal) PURE;
  STDMETHOD(put_ImmediateDelivery)(VARIANT_BOOL newVal) PURE;
  STDMETHOD(get_CaptureFile)(BSTR* pVal) PURE;
  STDMETHOD(put_CaptureFile)(BSTR newVal) PURE;
};

#ifdef _WIN32
// The real-time data protocol of spreadsheet hosts (Windows only: it passes SAFEARRAYs). The host
// implements IRTDUpdateEvent; VokQuotesRtd implements IRtdServer.
struct IRTDUpdateEvent : public IDispatch {
  STDMETHOD(UpdateNotify)() PURE;
  STDMETHOD(get_HeartbeatInterval)(LONG* plRetVal) PURE;
  STDMETHOD(put_HeartbeatInterval)(LONG plRetVal) PURE;
  STDMETHOD(Disconnect)() PURE;
};

struct IRtdServer : public IDispatch {
  STDMETHOD(ServerStart)(IRTDUpdateEvent* CallbackObject, LONG* pfRes) PURE;
  STDMETHOD(ConnectData)(LONG TopicID, SAFEARRAY** Strings, VARIANT_BOOL* GetNewValues, VARIANT* pvarOut) PURE;
  STDMETHOD(RefreshData)(LONG* TopicCount, SAFEARRAY** parrayOut) PURE;
  STDMETHOD(DisconnectData)(LONG TopicID) PURE;
  STDMETHOD(Heartbeat)(LONG* pfRes) PURE;
  STDMETHOD(ServerTerminate)() PURE;
};

// Lets __uuidof and the system's IID_PPV_ARGS work with these interfaces.
__CRT_UUID_DECL(IVokQuotesNotify, 0xDD1C99E1, 0xCF17, 0x4103, 0x99, 0xCF, 0x2F, 0x69, 0x47, 0x44, 0x25, 0x2E)
__CRT_UUID_DECL(IVokQuotes, 0xD44C0635, 0x1482, 0x45F8, 0xB8, 0x5A, 0x47, 0x9A, 0xE8, 0xEA, 0x46, 0x34)
__CRT_UUID_DECL(_IVokQuotesEvents, 0x94AD3427, 0xA423, 0x439D, 0x96, 0xAE, 0x28, 0x01, 0x49, 0xFF, 0xFA, 0xD3)
__CRT_UUID_DECL(IVokQuotesSettings, 0x3F0C7A52, 0x8B1E, 0x4D6F, 0xA2, 0xC9, 0x5E, 0x7D, 0x1B, 0x4A, 0x9C, 0x30)
__CRT_UUID_DECL(IVokQuotesPriv, 0xB28A9F1D, 0x747E, 0x4456, 0x80, 0x83, 0xFC, 0x36, 0x9D, 0x02, 0x5B, 0x9F)
__CRT_UUID_DECL(IRtdServer, 0xEC0E6191, 0xDB51, 0x11D3, 0x8F, 0x3E, 0x00, 0xC0, 0x4F, 0x36, 0x51, 0xB8)
__CRT_UUID_DECL(IRTDUpdateEvent, 0xA43788C1, 0xD91B, 0x11D3, 0x8F, 0x39, 0x00, 0xC0, 0x4F, 0x36, 0x51, 0xB8)
#endif

namespace vok::dispid {

// IVokQuotes (not consecutive).
inline constexpr DISPID Connect = 1;
inline constexpr DISPID AdviseSymbol = 2;
inline constexpr DISPID UnadviseSymbol = 3;
inline constexpr DISPID UnadviseAll = 4;
inline constexpr DISPID Disconnect = 5;
inline constexpr DISPID GetCachedQuote = 6;
inline constexpr DISPID ConnectionState = 11;
inline constexpr DISPID GetCachedOptionsRecord = 12;
inline constexpr DISPID GetCachedAggregateLevel2Size = 13;
inline constexpr DISPID GetSingleQuote = 14;
inline constexpr DISPID ServerName = 16;
inline constexpr DISPID RemoteAddress = 17;

// IVokQuotesSettings.
inline constexpr DISPID SettingsServer = 1;
inline constexpr DISPID SettingsUserName = 2;
inline constexpr DISPID SettingsPassword = 3;
inline constexpr DISPID SettingsTraceFile = 4;
inline constexpr DISPID SettingsTraceLevel = 5;
inline constexpr DISPID SettingsLogQuotes = 6;
inline constexpr DISPID SettingsQuotesTestMode = 7;
inline constexpr DISPID SettingsSave = 8;
inline constexpr DISPID SettingsVersion = 9;
inline constexpr DISPID SettingsUseTls = 10;
inline constexpr DISPID SettingsTlsCaFile = 11;
inline constexpr DISPID SettingsTlsPinnedCertificate = 12;
inline constexpr DISPID SettingsImmediateDelivery = 13;
inline constexpr DISPID SettingsCaptureFile = 14;

// _IVokQuotesEvents.
inline constexpr DISPID OnConnect = 1;
inline constexpr DISPID OnClose = 2;
inline constexpr DISPID OnLogonSucceed = 3;

// IVokQuotesNotify: member ids the type library gives a plain vtable interface.
inline constexpr DISPID OnQuoteData = 0x60010000;
inline constexpr DISPID OnLevel2Data = 0x60010001;
inline constexpr DISPID OnTSData = 0x60010002;
inline constexpr DISPID OnOptionsData = 0x60010003;

// IRTDUpdateEvent and IRtdServer, the real-time data protocol's own member ids.
inline constexpr DISPID RtdUpdateNotify = 10;
inline constexpr DISPID RtdHeartbeatInterval = 11;
inline constexpr DISPID RtdDisconnect = 12;
inline constexpr DISPID RtdServerStart = 10;
inline constexpr DISPID RtdConnectData = 11;
inline constexpr DISPID RtdRefreshData = 12;
inline constexpr DISPID RtdDisconnectData = 13;
inline constexpr DISPID RtdHeartbeat = 14;
inline constexpr DISPID RtdServerTerminate = 15;

}  // namespace vok::dispid

#endif /* __cplusplus */

/* ---- Layout checks ---- */
#ifdef __cplusplus
// Sizes and offsets clients compiled for 32-bit Windows rely on (4-byte BSTR pointers).
#define VOK_RECORD_OFFSET(type, field, at32, at64) \
  static_assert(offsetof(type, field) == (sizeof(void*) == 4 ? (at32) : (at64)), #type "." #field)
static_assert(sizeof(LEVEL2RECORD) == (sizeof(void*) == 4 ? 40 : 56), "LEVEL2RECORD size");
VOK_RECORD_OFFSET(LEVEL2RECORD, bstrSymbol, 0, 0);
VOK_RECORD_OFFSET(LEVEL2RECORD, bstrMMID, 4, 8);
VOK_RECORD_OFFSET(LEVEL2RECORD, bstrSource, 8, 16);
VOK_RECORD_OFFSET(LEVEL2RECORD, lSize, 12, 24);
VOK_RECORD_OFFSET(LEVEL2RECORD, dPrice, 16, 32);
VOK_RECORD_OFFSET(LEVEL2RECORD, side, 24, 40);
VOK_RECORD_OFFSET(LEVEL2RECORD, bClosed, 28, 44);
VOK_RECORD_OFFSET(LEVEL2RECORD, UTCTime, 32, 48);
static_assert(sizeof(QUOTERECORD) == (sizeof(void*) == 4 ? 144 : 160), "QUOTERECORD size");
VOK_RECORD_OFFSET(QUOTERECORD, bstrSymbol, 0, 0);
VOK_RECORD_OFFSET(QUOTERECORD, bstrMarket, 4, 8);
VOK_RECORD_OFFSET(QUOTERECORD, bstrCompany, 8, 16);
VOK_RECORD_OFFSET(QUOTERECORD, bstrUnderlier, 12, 24);
VOK_RECORD_OFFSET(QUOTERECORD, dLast, 16, 32);
VOK_RECORD_OFFSET(QUOTERECORD, dBid, 24, 40);
VOK_RECORD_OFFSET(QUOTERECORD, dAsk, 32, 48);
VOK_RECORD_OFFSET(QUOTERECORD, dPrevClose, 40, 56);
VOK_RECORD_OFFSET(QUOTERECORD, dHigh, 48, 64);
VOK_RECORD_OFFSET(QUOTERECORD, dLow, 56, 72);
VOK_RECORD_OFFSET(QUOTERECORD, dOpen, 64, 80);
VOK_RECORD_OFFSET(QUOTERECORD, dMarginMult, 72, 88);
VOK_RECORD_OFFSET(QUOTERECORD, dStrikePrice, 80, 96);
VOK_RECORD_OFFSET(QUOTERECORD, lBidSize, 88, 104);
VOK_RECORD_OFFSET(QUOTERECORD, lAskSize, 92, 108);
VOK_RECORD_OFFSET(QUOTERECORD, lLastSize, 96, 112);
VOK_RECORD_OFFSET(QUOTERECORD, lVolume, 100, 116);
VOK_RECORD_OFFSET(QUOTERECORD, lFlags, 104, 120);
VOK_RECORD_OFFSET(QUOTERECORD, lContractSize, 108, 124);
VOK_RECORD_OFFSET(QUOTERECORD, lExpMonth, 112, 128);
VOK_RECORD_OFFSET(QUOTERECORD, lExpYear, 116, 132);
VOK_RECORD_OFFSET(QUOTERECORD, UTCDateTime, 120, 136);
VOK_RECORD_OFFSET(QUOTERECORD, tick, 128, 144);
VOK_RECORD_OFFSET(QUOTERECORD, putcall, 132, 148);
VOK_RECORD_OFFSET(QUOTERECORD, dNegBorrowPct, 136, 152);
static_assert(sizeof(TSRECORD) == (sizeof(void*) == 4 ? 48 : 56), "TSRECORD size");
VOK_RECORD_OFFSET(TSRECORD, bstrSymbol, 0, 0);
VOK_RECORD_OFFSET(TSRECORD, bstrExchange, 4, 8);
VOK_RECORD_OFFSET(TSRECORD, dPrice, 8, 16);
VOK_RECORD_OFFSET(TSRECORD, lSize, 16, 24);
VOK_RECORD_OFFSET(TSRECORD, lType, 20, 28);
VOK_RECORD_OFFSET(TSRECORD, UTCDateTime, 24, 32);
VOK_RECORD_OFFSET(TSRECORD, type, 32, 40);
VOK_RECORD_OFFSET(TSRECORD, status, 36, 44);
VOK_RECORD_OFFSET(TSRECORD, cond, 40, 48);
VOK_RECORD_OFFSET(TSRECORD, tick, 44, 52);
static_assert(sizeof(OPTIONSRECORD) == (sizeof(void*) == 4 ? 120 : 128), "OPTIONSRECORD size");
VOK_RECORD_OFFSET(OPTIONSRECORD, bstrSymbol, 0, 0);
VOK_RECORD_OFFSET(OPTIONSRECORD, bstrUnderlier, 4, 8);
VOK_RECORD_OFFSET(OPTIONSRECORD, dLast, 8, 16);
VOK_RECORD_OFFSET(OPTIONSRECORD, dBid, 16, 24);
VOK_RECORD_OFFSET(OPTIONSRECORD, dAsk, 24, 32);
VOK_RECORD_OFFSET(OPTIONSRECORD, dPrevClose, 32, 40);
VOK_RECORD_OFFSET(OPTIONSRECORD, dHigh, 40, 48);
VOK_RECORD_OFFSET(OPTIONSRECORD, dLow, 48, 56);
VOK_RECORD_OFFSET(OPTIONSRECORD, dOpen, 56, 64);
VOK_RECORD_OFFSET(OPTIONSRECORD, dStrikePrice, 64, 72);
VOK_RECORD_OFFSET(OPTIONSRECORD, lBidSize, 72, 80);
VOK_RECORD_OFFSET(OPTIONSRECORD, lAskSize, 76, 84);
VOK_RECORD_OFFSET(OPTIONSRECORD, lLastSize, 80, 88);
VOK_RECORD_OFFSET(OPTIONSRECORD, lVolume, 84, 92);
VOK_RECORD_OFFSET(OPTIONSRECORD, lExpMonth, 88, 96);
VOK_RECORD_OFFSET(OPTIONSRECORD, lExpYear, 92, 100);
VOK_RECORD_OFFSET(OPTIONSRECORD, lOpenInterest, 96, 104);
VOK_RECORD_OFFSET(OPTIONSRECORD, UTCDateTime, 104, 112);
VOK_RECORD_OFFSET(OPTIONSRECORD, tick, 112, 120);
VOK_RECORD_OFFSET(OPTIONSRECORD, putcall, 116, 124);
static_assert(sizeof(enumTickCondition) == 4 && sizeof(VARIANT_BOOL) == 2 && sizeof(DATE) == 8);
#undef VOK_RECORD_OFFSET
#endif /* __cplusplus */

#endif /* VOKQUOTE_RECORDS_H */
