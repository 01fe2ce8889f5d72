// The names of the record enumerations, for JSON lines that carry each enumeration's number and
// name ("side":1,"sideName":"bid"): the member name of the type library without its prefix, in
// lower camel case (tcTrade_RegularSale: "tradeRegularSale"). Empty for a value without a member.
#pragma once

#include <string>

namespace vok::cli {

std::string MarketSideName(int value);
std::string TickName(int value);
std::string PutCallName(int value);
std::string TickTypeName(int value);
std::string TickStatusName(int value);
std::string TickConditionName(int value);

}  // namespace vok::cli
