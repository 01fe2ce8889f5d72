// The words of the quote protocol: message type characters, field ids and the coded values some
// fields carry. The component, its handlers and the simulator all speak through these names, so a
// field is spelt once; the FIX translation tables keep their own number pairs.
#pragma once

namespace vok::wire {

// ---- Message types ----
// To the server.
inline constexpr char kMsgLogon = 'L';
inline constexpr char kMsgSubscribeLevel1 = 'H';  // level 1 subscribe
inline constexpr char kMsgSubscribe = 'S';        // every other service's subscribe
inline constexpr char kMsgUnsubscribe = 'U';
// Both ways.
inline constexpr char kMsgHeartbeat = '9';
// From the server.
inline constexpr char kMsgLogonReply = 'G';
inline constexpr char kMsgDisconnectNotice = '5';
inline constexpr char kMsgLevel1 = '1';
inline constexpr char kMsgLevel1Alt = 'N';  // level 1 too, merged the same way
inline constexpr char kMsgLevel2 = '2';
inline constexpr char kMsgTimeSales = '3';
inline constexpr char kMsgOptions = '4';
// The component's own message for a change of its connection; it never goes on the wire.
inline constexpr char kMsgConnectionEvent = '0';

// The messages the connection handles itself rather than a data handler.
constexpr bool IsConnectionMessage(int type) {
  return type == kMsgLogonReply || type == kMsgConnectionEvent || type == kMsgDisconnectNotice;
}

// ---- Fields: logon, session and notices ----
inline constexpr int kFidUserName = 100;
inline constexpr int kFidPassword = 133;     // the transformed password; masked whenever traced
inline constexpr int kFidPermissions = 154;  // logon reply: the quote permission bits
inline constexpr int kFidNoticeText = 1011;  // disconnect notice: the text to show the user
inline constexpr int kFidServerName = 8055;  // logon reply
// Fields of the connection event message only.
inline constexpr int kFidClientId = 9976;   // the identity of the client the message belongs to
inline constexpr int kFidEventCode = 9992;  // one of the kEvent codes below
inline constexpr int kFidErrorCode = 9993;  // the system's error code of a failed open

// ---- Fields: subscriptions and every data message ----
inline constexpr int kFidSymbol = 1003;
inline constexpr int kFidServiceId = 2000;  // one of the kService ids below

// ---- Fields: prices and sizes (level 1, options, time and sales) ----
inline constexpr int kFidLast = 2002;
inline constexpr int kFidBid = 2003;
inline constexpr int kFidAsk = 2004;
inline constexpr int kFidBidSize = 2005;
inline constexpr int kFidAskSize = 2006;
inline constexpr int kFidLastSize = 2007;
inline constexpr int kFidPrevClose = 2008;
inline constexpr int kFidHigh = 2009;
inline constexpr int kFidLow = 2010;
inline constexpr int kFidOpen = 2011;
inline constexpr int kFidVolume = 2012;
inline constexpr int kFidTick = 2013;  // kTickUp or kTickDown; time and sales: the enumTick value
inline constexpr int kFidEasternTime = 2014;
inline constexpr int kFidEasternDate = 2015;
inline constexpr int kFidCompany = 2021;
inline constexpr int kFidExchange = 2022;
inline constexpr int kFidMarginMultiplier = 2031;
inline constexpr int kFidFlags = 2032;
inline constexpr int kFidUtcTimestamp = 2043;  // a FIX UTC timestamp

// ---- Fields: option contracts ----
inline constexpr int kFidUnderlier = 2034;
inline constexpr int kFidStrike = 2035;
inline constexpr int kFidExpMonth = 2036;
inline constexpr int kFidOpenInterest = 2037;
inline constexpr int kFidPutCall = 2038;  // "P" or "C"
inline constexpr int kFidExpYear = 2040;
inline constexpr int kFidContractSize = 2041;

// ---- Fields: level 2 ----
inline constexpr int kFidMarketMaker = 2016;
inline constexpr int kFidSide = 2017;  // kSideBid or kSideAsk
inline constexpr int kFidSidePrice = 2018;
inline constexpr int kFidSideSize = 2019;
inline constexpr int kFidSideEasternTime = 2020;  // Eastern date and time in one text
inline constexpr int kFidSideOpen = 2024;         // "O" open; anything else or absent: closed
inline constexpr int kFidSideSource = 2033;
inline constexpr int kFidSideTime = 2044;

// ---- Fields: time and sales ----
inline constexpr int kFidPrintType = 2039;
inline constexpr int kFidPrintCondition = 2082;
inline constexpr int kFidPrintStatus = 2083;
inline constexpr int kFidPrintKind = 2084;  // kPrint values below; absent means a trade

// ---- Fields: orders and executions, in the FIX form only (the FIX tag each one travels as) ----
inline constexpr int kFidOrderSide = 1001;          // tag 54
inline constexpr int kFidOrderQuantity = 1002;      // tag 38
inline constexpr int kFidOrderPrice = 1004;         // tag 44
inline constexpr int kFidTimeInForce = 1005;        // tag 59
inline constexpr int kFidOrderType = 1007;          // tag 40; kOrder values below
inline constexpr int kFidOrderCondition = 1008;     // kConditionAllOrNone, written as "G" in tag 18
inline constexpr int kFidMaxFloor = 1009;           // tag 111: the shown part of a reserve order
inline constexpr int kFidStopPrice = 1017;          // tag 99
inline constexpr int kFidTransactTime = 1021;       // tag 60, as Eastern "HH:MM:SS[.mmm]"
inline constexpr int kFidTransactDate = 1022;       // the Eastern date of tag 60, "MM/DD/YYYY"
inline constexpr int kFidDiscretionPrice = 1026;    // price plus discretion offset
inline constexpr int kFidDiscretionOffset = 1036;   // tag 389
inline constexpr int kFidExecInst = 1037;           // tag 18: flag letters separated by spaces
inline constexpr int kFidCovered = 1039;            // tag 203
inline constexpr int kFidOpenClose = 1040;          // tag 77
inline constexpr int kFidTransactTimeText = 1047;   // tag 60 as received
inline constexpr int kFidCancelRejectTo = 1058;     // tag 434
inline constexpr int kFidUrgency = 1066;            // tag 61
inline constexpr int kFidLegs = 1089;               // tag 555: the multileg group
inline constexpr int kFidRefMsgType = 1096;         // tag 372
inline constexpr int kFidOrderStatus = 1099;        // tag 39
inline constexpr int kFidLegOrderStatus = 1108;     // tag 10058
inline constexpr int kFidTargetStrategy = 1113;     // tag 847
inline constexpr int kFidOrderQuantityText = 1140;  // tag 38 as received
inline constexpr int kFidSessionMsgType = 1143;     // tag 35 of a heartbeat ("0") or test request ("1")
inline constexpr int kFidLegSide = 1505;            // tag 624
inline constexpr int kFidLegOpenClose = 1506;       // tag 564
// Fields of the server's own FIX tags, read as numbers.
inline constexpr int kFidTag10012Price = 5009;
inline constexpr int kFidTag10015Price = 5010;
inline constexpr int kFidTag10000Count = 5012;
inline constexpr int kFidTag10001Count = 5013;

// ---- Coded values ----
inline constexpr int kLevel1Service = 20000;
inline constexpr int kLevel2Service = 20001;
inline constexpr int kTimeSalesService = 20003;
inline constexpr int kOptionsService = 20004;
inline constexpr int kSideBid = 20010;
inline constexpr int kSideAsk = 20011;
inline constexpr int kTickUp = 20020;
inline constexpr int kTickDown = 20021;
inline constexpr int kPrintTrade = 0;
inline constexpr int kPrintBid = 1;
inline constexpr int kPrintAsk = 2;
inline constexpr int kEventConnected = 9978;
inline constexpr int kEventDisconnected = 9977;
inline constexpr int kEventConnectFailed = 9966;
// Order types the FIX reader derives from tag 40 and tag 18, and the writer turns back.
inline constexpr int kOrderLimit = 10030;            // tag 40 "2"
inline constexpr int kOrderPegged = 10034;           // tag 40 "P"
inline constexpr int kOrderTypeV = 10063;            // tag 40 "V"
inline constexpr int kOrderLimitReserve = 10040;     // limit with a max floor
inline constexpr int kOrderLimitDiscretion = 10043;  // limit with a discretion offset
inline constexpr int kOrderLimitDiscretionReserve = 10044;
inline constexpr int kOrderPeggedPrimary = 10062;         // pegged, "R" in tag 18
inline constexpr int kOrderPeggedPrimaryReserve = 10066;  // the same with a max floor
inline constexpr int kOrderPeggedC = 10077;               // pegged, "C" in tag 18
inline constexpr int kConditionAllOrNone = 10047;         // "G" in tag 18

}  // namespace vok::wire
