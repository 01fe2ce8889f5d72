// Time and sales stream of one symbol (message type '3'): one print per update, mostly trades,
// some bid and ask ticks, with exchange, Eastern date and time, status, tick and condition codes.
// Nothing is cached for this service, so a new subscriber gets no snapshot.
#pragma once

#include "feed.h"

namespace vok::sim {

class CTimeSalesFeed : public CFeed {
 public:
  CTimeSalesFeed(std::string_view symbol, const SFeedSettings& settings);

  void Snapshot(std::string& out) override {}

 protected:
  void WriteUpdate(std::string& out) override;

 private:
  std::int64_t m_last;
};

}  // namespace vok::sim
