// Level 2 simulation: participants quoting around a random-walk midpoint.
#include "level2_feed.h"

#include <algorithm>

#include "time_text.h"

namespace vok::sim {

namespace {

struct SParticipantName {
  const char* mmid;
  const char* source;
};

constexpr SParticipantName kParticipants[] = {
    {"NSDQ", "NASDAQ"}, {"ARCA", ""},         {"TDFXBATS", ""},   {"GSCO", "2"}, {"MSCO", "2"},
    {"ARCAEDGE", ""},   {"TDFXEDGX", "EDGX"}, {"UBSS", "NASDAQ"}, {"CDRG", "2"}, {"NITE", "OTC"},
};
constexpr std::uint32_t kParticipantCount = sizeof kParticipants / sizeof kParticipants[0];

}  // namespace

CLevel2Feed::CLevel2Feed(std::string_view symbol, const SFeedSettings& settings)
    : CFeed(symbol, kLevel2Service, settings), m_mid(m_profile.startCents) {
  // Four to eight participants; the first two ("NSDQ", "ARCA") and one "TDFX" id always quote.
  const std::uint32_t count = 4 + m_random.Below(5);
  std::uint32_t first = 3 + m_random.Below(kParticipantCount - 3);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t index = i < 3 ? i : 3 + (first + i) % (kParticipantCount - 3);
    SParticipant p;
    p.mmid = kParticipants[index].mmid;
    p.source = kParticipants[index].source;
    p.bid.cents = std::max<std::int64_t>(1, m_mid - m_random.Between(1, 8));
    p.ask.cents = m_mid + m_random.Between(1, 8);
    p.bid.size = Lots(20);
    p.ask.size = Lots(20);
    bool duplicate = false;
    for (const SParticipant& q : m_book) duplicate = duplicate || q.mmid == p.mmid;
    if (!duplicate) m_book.push_back(std::move(p));
  }
}

void CLevel2Feed::WriteSide(const SParticipant& participant, bool bid, std::string& out) {
  const SSide& side = bid ? participant.bid : participant.ask;
  const std::int64_t now = TimeMs();
  m_writer.Begin(wire::kMsgLevel2);
  m_writer.Text(wire::kFidSymbol, m_symbol);
  m_writer.Text(wire::kFidMarketMaker, participant.mmid);
  m_writer.Int(wire::kFidSide, bid ? wire::kSideBid : wire::kSideAsk);
  m_writer.Price(wire::kFidSidePrice, side.cents);
  m_writer.Int(wire::kFidSideSize, side.open ? side.size : 0);
  m_writer.Text(wire::kFidSideEasternTime, FormatEasternDate(now) + " " + FormatEasternTime(now));
  m_writer.Text(wire::kFidSideOpen, side.open ? "O" : "C");
  if (!participant.source.empty()) m_writer.Text(wire::kFidSideSource, participant.source);
  m_writer.AppendTo(out);
}

void CLevel2Feed::Snapshot(std::string& out) {
  for (const SParticipant& p : m_book) {
    WriteSide(p, true, out);
    WriteSide(p, false, out);
  }
}

void CLevel2Feed::WriteUpdate(std::string& out) {
  m_mid = Walk(m_mid);
  SParticipant& p = m_book[m_random.Below(static_cast<std::uint32_t>(m_book.size()))];
  const bool bid = m_random.Percent(50);
  SSide& side = bid ? p.bid : p.ask;
  if (side.open && m_random.Percent(5)) {
    side.open = false;
  } else {
    side.open = true;
    side.cents = bid ? std::max<std::int64_t>(1, m_mid - m_random.Between(1, 8)) : m_mid + m_random.Between(1, 8);
    side.size = Lots(20);
  }
  WriteSide(p, bid, out);
}

}  // namespace vok::sim
