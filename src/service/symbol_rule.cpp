// The symbol rule shared by every entry point that takes a symbol.
#include "service/symbol_rule.h"

#include <algorithm>
#include <cctype>

namespace vok {

namespace {

bool IsUnsafe(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return c == ';' || c == '|' || byte < 0x20 || byte == 0x7f;
}

}  // namespace

bool IsSafeExactSymbol(std::string_view text) {
  return text.size() <= kMaxSymbolLength && std::none_of(text.begin(), text.end(), IsUnsafe);
}

bool NormaliseSymbol(std::string_view text, std::string& symbol) {
  auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  symbol.assign(text);
  for (char& c : symbol) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (symbol.empty() || !IsSafeExactSymbol(symbol)) return false;
  return !(symbol.size() == 1 && (symbol[0] == '+' || symbol[0] == '/'));
}

}  // namespace vok
