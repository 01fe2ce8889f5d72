// CStalenessTracker: which of the symbols a live view shows are stale - no update for longer than
// the --stale-after time, or none since the last reconnect - and when each turns stale or fresh
// again, so the view can mark it and JSON output can say so once per change. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vok::cli {

class CStalenessTracker {
 public:
  // Every symbol counts from nowMs as if it had just been updated.
  CStalenessTracker(const std::vector<std::string>& symbols, std::uint64_t staleAfterMs, std::uint64_t nowMs);

  // A record of symbol arrived; true when the symbol was stale until now (it is fresh again).
  bool OnRecord(const std::string& symbol, std::uint64_t nowMs);
  // The connection came back: every symbol is stale until its first fresh update. Returns the
  // symbols that were fresh until now.
  std::vector<std::string> OnReconnect();
  // The symbols that have just passed the stale-after time without an update.
  std::vector<std::string> Check(std::uint64_t nowMs);
  // The stale symbols, in name order.
  std::vector<std::string> Stale() const;
  // When Check may next find something, or UINT64_MAX.
  std::uint64_t NextCheckMs() const;

 private:
  struct SState {
    std::uint64_t lastMs = 0;
    bool stale = false;
  };
  std::map<std::string, SState> m_symbols;
  std::uint64_t m_staleAfterMs;
};

}  // namespace vok::cli
