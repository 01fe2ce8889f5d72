// Level 2 stream of one symbol (message type '2'): a book of several market participants, each with
// a bid and an ask. The snapshot sends both sides of every participant; each update moves, resizes,
// closes or reopens one side. Participant ids include "TDFX..." and "ARCA..." forms and sources
// given as text, as "2" or not at all, so every source rule of the client is exercised.
#pragma once

#include <vector>

#include "feed.h"

namespace vok::sim {

class CLevel2Feed : public CFeed {
 public:
  CLevel2Feed(std::string_view symbol, const SFeedSettings& settings);

  void Snapshot(std::string& out) override;

 protected:
  void WriteUpdate(std::string& out) override;

 private:
  struct SSide {
    std::int64_t cents = 0;
    std::int64_t size = 0;
    bool open = true;
  };
  struct SParticipant {
    std::string mmid;
    std::string source;  // field 2033; empty: not sent
    SSide bid, ask;
  };

  void WriteSide(const SParticipant& participant, bool bid, std::string& out);

  std::vector<SParticipant> m_book;
  std::int64_t m_mid;
};

}  // namespace vok::sim
