// Level 1 stream of one symbol (message type '1'): a full quote first, then alternating quote
// changes (bid, ask, sizes) and trades (last, size, volume, high, low, tick direction).
// Option symbols ('+') also carry their contract fields; '/' symbols a contract size.
#pragma once

#include "feed.h"

namespace vok::sim {

class CLevel1Feed : public CFeed {
 public:
  CLevel1Feed(std::string_view symbol, const SFeedSettings& settings);

  void Snapshot(std::string& out) override;

 protected:
  void WriteUpdate(std::string& out) override;

 private:
  void AddContract();
  void Requote();

  std::int64_t m_last, m_bid, m_ask, m_high, m_low, m_open, m_prevClose;
  std::int64_t m_bidSize = 0, m_askSize = 0, m_lastSize = 0, m_volume = 0;
  bool m_up = true;
};

}  // namespace vok::sim
