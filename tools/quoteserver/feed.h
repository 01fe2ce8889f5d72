// One simulated data stream: the lines of one symbol on one service, as a new subscriber gets them
// (Snapshot) and as they follow (Update). A feed is deterministic: its seed comes from the server
// seed, the symbol and the service id, and its clock advances one step per update, so the same
// settings give the same lines whatever else is subscribed. Used by the server thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "line_writer.h"
#include "message/wire_vocabulary.h"
#include "random.h"
#include "symbol_profile.h"

namespace vok::sim {

using wire::kLevel1Service;
using wire::kLevel2Service;
using wire::kOptionsService;
using wire::kTickDown;
using wire::kTickUp;
using wire::kTimeSalesService;

enum class ETimeStyle {
  Utc,      // field 2043, "YYYYMMDD-HH:MM:SS.sss"
  Eastern,  // fields 2015 "MM/DD/YYYY" and 2014 "HH:MM:SS"
};

struct SFeedSettings {
  std::uint64_t seed = 1;
  std::int64_t startMs = 0;    // simulated UTC time of the snapshot
  std::int64_t stepMs = 1000;  // simulated time between two updates
  ETimeStyle times = ETimeStyle::Utc;
};

bool IsKnownService(int serviceId);

class CFeed {
 public:
  CFeed(std::string_view symbol, int serviceId, const SFeedSettings& settings);
  CFeed(const CFeed&) = delete;
  CFeed& operator=(const CFeed&) = delete;
  virtual ~CFeed() = default;

  // Null for an unknown service id.
  static std::unique_ptr<CFeed> Create(int serviceId, std::string_view symbol, const SFeedSettings& settings);

  // Appends the lines a new subscriber receives at once (possibly none).
  virtual void Snapshot(std::string& out) = 0;
  // Appends one update (one line) and advances the simulated clock.
  void Update(std::string& out) {
    ++m_updates;
    WriteUpdate(out);
  }

  const std::string& Symbol() const { return m_symbol; }
  int ServiceId() const { return m_serviceId; }

 protected:
  virtual void WriteUpdate(std::string& out) = 0;

  std::int64_t TimeMs() const { return m_settings.startMs + m_updates * m_settings.stepMs; }
  // The update time as the level 1 and options handlers read it (2043, or 2015 and 2014).
  void AddTime();
  // A random walk step of a price in cents: -3..+3 cents, never below one cent.
  std::int64_t Walk(std::int64_t cents);
  // A size in round lots.
  std::int64_t Lots(int most) { return 100 * m_random.Between(1, most); }

  std::string m_symbol;
  int m_serviceId;
  SFeedSettings m_settings;
  CRandom m_random;
  SSymbolProfile m_profile;
  CLineWriter m_writer;
  std::int64_t m_updates = 0;
};

}  // namespace vok::sim
