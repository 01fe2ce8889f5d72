// Per-symbol starting facts of the simulated market and the option symbol form.
#include "symbol_profile.h"

#include <cstdio>
#include <cstdlib>

#include "random.h"

namespace vok::sim {

namespace {

constexpr const char* kMarkets[] = {"NASDAQ", "NYSE", "ARCA", "AMEX", "BATS"};
constexpr const char* kSuffixes[] = {"Holdings Inc", "Corp",         "Group Ltd",   "Industries",
                                     "Systems Inc",  "Technologies", "Partners LP", "Bancorp"};

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

SSymbolProfile MakeSymbolProfile(std::uint64_t seed, std::string_view symbol) {
  SSymbolProfile profile;
  CRandom random(StreamSeed(seed, symbol, 0));
  profile.isOption = !symbol.empty() && symbol[0] == '+';
  if (profile.isOption) {
    if (!ParseOptionSymbol(symbol, profile.option)) {
      // A '+' symbol of another shape is still an option: its contract is made up from the hash.
      std::string_view root =
          symbol.substr(1, symbol.find('-') == std::string_view::npos ? std::string_view::npos : symbol.find('-') - 1);
      profile.option.underlying = root.empty() ? std::string("X") : std::string(root);
      profile.option.expYear = 2027;
      profile.option.expMonth = static_cast<int>(random.Between(1, 12));
      profile.option.expDay = 15;
      profile.option.put = random.Percent(50);
      profile.option.strikeCents = random.Between(2, 100) * 500;
    }
    // An option starts near a plausible premium.
    profile.startCents = 50 + random.Between(0, 1500);
  } else {
    profile.startCents = random.Between(500, 50000);
  }
  profile.market = kMarkets[random.Below(sizeof kMarkets / sizeof kMarkets[0])];
  std::string name(symbol);
  profile.company = name + " " + kSuffixes[random.Below(sizeof kSuffixes / sizeof kSuffixes[0])];
  return profile;
}

bool ParseOptionSymbol(std::string_view symbol, SOptionContract& contract) {
  if (symbol.size() < 2 || symbol[0] != '+') return false;
  std::string_view rest = symbol.substr(1);
  std::string_view parts[4];
  for (int i = 0; i < 4; ++i) {
    std::size_t dash = rest.find('-');
    if (i < 3 && dash == std::string_view::npos) return false;
    parts[i] = i < 3 ? rest.substr(0, dash) : rest;
    if (i < 3) rest = rest.substr(dash + 1);
  }
  if (parts[0].empty() || parts[1].size() != 6 || !AllDigits(parts[1])) return false;
  if (parts[2] != "C" && parts[2] != "P") return false;
  std::string strike(parts[3]);
  char* end = nullptr;
  double value = std::strtod(strike.c_str(), &end);
  if (strike.empty() || end != strike.c_str() + strike.size() || !(value > 0) || value > 1e7) {
    return false;
  }
  int digits = std::atoi(std::string(parts[1]).c_str());
  int month = digits / 100 % 100;
  int day = digits % 100;
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  contract.underlying = std::string(parts[0]);
  contract.expYear = 2000 + digits / 10000;
  contract.expMonth = month;
  contract.expDay = day;
  contract.put = parts[2] == "P";
  contract.strikeCents = static_cast<std::int64_t>(value * 100 + 0.5);
  return true;
}

std::string FormatStrike(std::int64_t cents) {
  char text[32];
  if (cents % 100 == 0) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(cents / 100));
  } else if (cents % 10 == 0) {
    std::snprintf(text, sizeof text, "%lld.%lld", static_cast<long long>(cents / 100),
                  static_cast<long long>(cents % 100 / 10));
  } else {
    std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(cents / 100),
                  static_cast<long long>(cents % 100));
  }
  return text;
}

std::string FormatOptionSymbol(const SOptionContract& contract) {
  char date[16];
  std::snprintf(date, sizeof date, "%02d%02d%02d", contract.expYear % 100, contract.expMonth, contract.expDay);
  return "+" + contract.underlying + "-" + date + (contract.put ? "-P-" : "-C-") + FormatStrike(contract.strikeCents);
}

}  // namespace vok::sim
