// GetSecurityType (see security_type.h): decided by the first character of the symbol alone.
#include "vokcommon/security_type.h"

enumSecurityType GetSecurityType(const std::string& symbol) {
  return !symbol.empty() && symbol.front() == '+' ? stOption : stEquity;
}
