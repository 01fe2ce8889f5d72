// Enumeration member names, kept as the type library spells them (prefix stripped) and turned into
// lower camel case when asked for.
#include "enum_names.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace vok::cli {
namespace {

struct SMember {
  int value;
  const char* name;  // the member's name without its prefix
};

constexpr SMember kSides[] = {{1, "Bid"}, {2, "Ask"}};
constexpr SMember kTicks[] = {{0, "EvenUp"}, {1, "Down"}, {2, "None"}};
constexpr SMember kPutCalls[] = {{0, "Call"}, {1, "Put"}, {2, "Both"}};
constexpr SMember kTickTypes[] = {{0, "TradeTick"}, {1, "BidTick"}, {2, "AskTick"}};
constexpr SMember kTickStatuses[] = {{0, "Normal"}, {1, "Filtered"}, {2, "OutOfSeq"}, {3, "Deleted"}};
constexpr SMember kTickConditions[] = {
    {0, "Trade_RegularSale"},
    {1, "Trade_Acquistion"},
    {2, "Trade_Distribution"},
    {3, "Trade_Split"},
    {4, "Trade_ReservedSale"},
    {5, "Trade_Cash_Sale"},
    {6, "Trade_NextDaySale"},
    {7, "Trade_SellerSale"},
    {8, "Trade_Rule155"},
    {9, "Trade_SoldLastSale"},
    {10, "Trade_OpenSale"},
    {11, "Trade_OutOfSequence"},
    {12, "Trade_CancelVol"},
    {13, "Trade_CancelLast"},
    {14, "Trade_CancelOpen"},
    {15, "Trade_CancelOnly"},
    {16, "Trade_CancelStopped"},
    {17, "Trade_Reopen"},
    {18, "Trade_Adjusted"},
    {19, "Trade_Spread"},
    {20, "Trade_Straddle"},
    {21, "Trade_Stopped"},
    {22, "Trade_Bunched"},
    {23, "Trade_BunchedSold"},
    {24, "Trade_VolumeOnly"},
    {25, "Trade_FutureTrade"},
    {26, "Trade_Premium"},
    {27, "Trade_MidPrice"},
    {28, "Trade_Settlement"},
    {29, "Trade_FormT"},
    {30, "Trade_LateOpen"},
    {31, "Trade_AutoExecute"},
    {32, "Trade_IntradayDetail"},
    {33, "Trade_OpeningDetail"},
    {34, "Trade_Rule127"},
    {35, "Trade_OvernightTrade"},
    {36, "Trade_DelayedTrade"},
    {37, "Trade_AgencyCross"},
    {38, "Trade_CrossForward"},
    {39, "Trade_FastMarket"},
    {40, "Trade_OpenInterest"},
    {41, "Trade_OpenPrice"},
    {42, "Trade_HighPrice"},
    {43, "Trade_LowPrice"},
    {44, "Trade_SpotPrice"},
    {45, "Trade_IntermarketSweep"},
    {46, "Trade_LastSaleTelekurs"},
    {47, "Trade_X_Dividend"},
    {48, "Trade_OptionInit"},
    {49, "Trade_ClosePrice"},
    {50, "Trade_SummaryPrice"},
    {51, "Trade_YesterdayPrice"},
    {52, "Trade_Combo"},
    {53, "Trade_AveragePrice"},
    {54, "Trade_BurstBasket"},
    {55, "Trade_BasketIndexClose"},
    {56, "Trade_OddLot"},
    {100, "Quote_RegularQuote"},
    {101, "Quote_OfferDepth"},
    {104, "Quote_Opening"},
    {105, "Quote_Closing"},
    {106, "Quote_NewsDistribution"},
    {107, "Quote_FastMarket"},
    {110, "Quote_NonFirm"},
    {111, "Quote_NewsPending"},
    {112, "Quote_DueToRelated"},
    {114, "Quote_OrderImbalance"},
    {115, "Quote_NoOpenResume"},
    {128, "Quote_Halted"},
    {136, "Quote_Suspended"},
    {137, "Quote_OutOfSequence"},
    {138, "Quote_Restricted"},
    {149, "Quote_QuoteRequest"},
    {150, "Quote_QuoteResume"},
    {151, "Quote_TradeResume"},
};

// "Trade_Cash_Sale" -> "tradeCashSale".
std::string LowerCamel(const char* name) {
  std::string out;
  for (const char* c = name; *c != '\0'; ++c)
    if (*c != '_') out += *c;
  if (!out.empty()) out[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[0])));
  return out;
}

template <std::size_t N>
std::string Find(const SMember (&members)[N], int value) {
  const auto* found =
      std::find_if(std::begin(members), std::end(members), [value](const SMember& m) { return m.value == value; });
  return found != std::end(members) ? LowerCamel(found->name) : std::string();
}

}  // namespace

std::string MarketSideName(int value) { return Find(kSides, value); }
std::string TickName(int value) { return Find(kTicks, value); }
std::string PutCallName(int value) { return Find(kPutCalls, value); }
std::string TickTypeName(int value) { return Find(kTickTypes, value); }
std::string TickStatusName(int value) { return Find(kTickStatuses, value); }
std::string TickConditionName(int value) { return Find(kTickConditions, value); }

}  // namespace vok::cli
