// The in-process simulator: the quote server library on a loopback port.
#include "simulator.h"

#include <algorithm>

#include "quote_server.h"
#include "symbol_profile.h"
#include "vkdll/vkdll.h"

namespace vok::py {

CSimulator::CSimulator() = default;

CSimulator::~CSimulator() { Stop(); }

bool CSimulator::Start(const SSimulatorSettings& settings, std::string& error) {
  sim::SServerOptions options;
  options.seed = settings.seed;
  options.rate = settings.rate;
  options.flood = settings.flood;
  for (const auto& [user, password] : settings.users) {
    // The server checks the transformed password, as the service object sends it.
    char transformed[65] = {};
    VOK_TransformPassword(password.c_str(), transformed);
    options.users[user] = transformed;
  }
  m_server = std::make_unique<sim::CQuoteServer>(options);
  if (m_server->Start(&error)) return true;
  m_server.reset();
  return false;
}

int CSimulator::Port() const { return m_server ? m_server->Port() : 0; }

void CSimulator::Stop() {
  if (m_server) m_server->Stop();
}

SSimulatedProfile CSimulator::Profile(std::uint64_t seed, const std::string& symbol) {
  const sim::SSymbolProfile profile = sim::MakeSymbolProfile(seed, symbol);
  return {static_cast<double>(profile.startCents) / 100.0, profile.market, profile.company};
}

}  // namespace vok::py
