// Staleness of the symbols of a live view.
#include "staleness.h"

#include <algorithm>
#include <climits>

namespace vok::cli {

CStalenessTracker::CStalenessTracker(const std::vector<std::string>& symbols, std::uint64_t staleAfterMs,
                                     std::uint64_t nowMs)
    : m_staleAfterMs(staleAfterMs) {
  for (const std::string& symbol : symbols) m_symbols[symbol] = SState{nowMs, false};
}

bool CStalenessTracker::OnRecord(const std::string& symbol, std::uint64_t nowMs) {
  auto it = m_symbols.find(symbol);
  // An option's record names the option, not the underlying the view subscribed.
  if (it == m_symbols.end()) return false;
  const bool wasStale = it->second.stale;
  it->second = SState{nowMs, false};
  return wasStale;
}

std::vector<std::string> CStalenessTracker::OnReconnect() {
  std::vector<std::string> turned;
  for (auto& [symbol, state] : m_symbols) {
    if (!state.stale) turned.push_back(symbol);
    state.stale = true;
  }
  return turned;
}

std::vector<std::string> CStalenessTracker::Check(std::uint64_t nowMs) {
  std::vector<std::string> turned;
  for (auto& [symbol, state] : m_symbols) {
    if (state.stale || nowMs - std::min(nowMs, state.lastMs) <= m_staleAfterMs) continue;
    state.stale = true;
    turned.push_back(symbol);
  }
  return turned;
}

std::vector<std::string> CStalenessTracker::Stale() const {
  std::vector<std::string> stale;
  for (const auto& [symbol, state] : m_symbols)
    if (state.stale) stale.push_back(symbol);
  return stale;
}

std::uint64_t CStalenessTracker::NextCheckMs() const {
  std::uint64_t next = UINT64_MAX;
  for (const auto& [symbol, state] : m_symbols)
    if (!state.stale) next = std::min(next, state.lastMs + m_staleAfterMs + 1);
  return next;
}

}  // namespace vok::cli
