// Options stream of one underlying (message type '4'): a chain of calls and puts on two monthly
// expiries around the underlying's price. Each line names the underlying (2034) and the option
// symbol (1003, "+ROOT-YYMMDD-C-STRIKE" with ROOT the underlying). The snapshot sends every option
// once; each update re-prices the next option of the chain, round robin, as the underlying walks.
#pragma once

#include <vector>

#include "feed.h"

namespace vok::sim {

class COptionsFeed : public CFeed {
 public:
  COptionsFeed(std::string_view underlying, const SFeedSettings& settings);

  void Snapshot(std::string& out) override;
  std::size_t ChainSize() const { return m_chain.size(); }

 protected:
  void WriteUpdate(std::string& out) override;

 private:
  struct SOption {
    SOptionContract contract;
    std::string symbol;
    std::int64_t openInterest = 0;
    std::int64_t last = 0, high = 0, low = 0, open = 0, prevClose = 0;
    std::int64_t lastSize = 0, volume = 0;
    bool up = true;
  };

  std::int64_t FairValue(const SOption& option) const;
  void WriteOption(SOption& option, bool full, std::string& out);

  std::vector<SOption> m_chain;
  std::int64_t m_underlying;
  std::size_t m_next = 0;
};

}  // namespace vok::sim
