// CSimulator: the quote server simulator started in-process for Session.simulated, as the
// command-line client starts it when no server is named: loopback, an ephemeral port, a seeded
// market. Its own thread serves every session; Start, Port and Stop may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace vok::sim {
class CQuoteServer;
}

namespace vok::py {

struct SSimulatorSettings {
  std::uint64_t seed = 1;
  int rate = 1;                              // updates per second per subscribed symbol and service
  bool flood = false;                        // level 1 at full speed once subscribed
  std::map<std::string, std::string> users;  // user -> clear password; empty: anyone logs on
};

// What the simulated market starts with for a symbol: its first last price, market and company.
struct SSimulatedProfile {
  double startPrice = 0;
  std::string market;
  std::string company;
};

class CSimulator {
 public:
  CSimulator();
  CSimulator(const CSimulator&) = delete;
  CSimulator& operator=(const CSimulator&) = delete;
  ~CSimulator();  // Stop

  // False with the reason when it cannot listen.
  bool Start(const SSimulatorSettings& settings, std::string& error);
  int Port() const;
  void Stop();

  static SSimulatedProfile Profile(std::uint64_t seed, const std::string& symbol);

 private:
  std::unique_ptr<sim::CQuoteServer> m_server;
};

}  // namespace vok::py
