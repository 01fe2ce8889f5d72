// What the simulated market knows about a symbol before any update: its starting price, market and
// company name, and for option symbols (first character '+') the contract read from the symbol.
// Everything is derived from the seed and the symbol text alone, so any symbol is valid.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok::sim {

// Option symbols look like "+ROOT-YYMMDD-C-STRIKE" (C or P; strike in dollars, "52.5" allowed).
// The root is the text before the first '-' without the '+'; it names the underlying.
struct SOptionContract {
  std::string underlying;
  int expYear = 0;   // four digits
  int expMonth = 0;  // 1-12
  int expDay = 0;
  bool put = false;
  std::int64_t strikeCents = 0;
};

struct SSymbolProfile {
  std::int64_t startCents = 0;  // first last price, in cents
  std::string market;
  std::string company;
  bool isOption = false;
  SOptionContract option;  // when isOption
};

SSymbolProfile MakeSymbolProfile(std::uint64_t seed, std::string_view symbol);

bool ParseOptionSymbol(std::string_view symbol, SOptionContract& contract);
std::string FormatOptionSymbol(const SOptionContract& contract);

// Price text as the wire writes it is the message layer's business; this is for symbol names.
std::string FormatStrike(std::int64_t cents);

}  // namespace vok::sim
