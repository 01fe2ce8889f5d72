// The security type of a symbol, which decides how a quote's source and option fields are read.
// Option symbols are the ones the feed writes with a leading '+'; everything else is treated as an
// equity (the default).
#pragma once

#include <string>

enum enumSecurityType {
  stEquity = 0,
  stOption = 2,
};

enumSecurityType GetSecurityType(const std::string& symbol);
