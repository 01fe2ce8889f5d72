// The embedded simulator over CQuoteServer with the command line's defaults.
#include "builtin_simulator.h"

#include "quote_server.h"

namespace vok::sim {

CBuiltinSimulator::CBuiltinSimulator(std::unique_ptr<CQuoteServer> server) : m_server(std::move(server)) {}

CBuiltinSimulator::~CBuiltinSimulator() = default;

std::unique_ptr<CBuiltinSimulator> CBuiltinSimulator::Start(std::uint64_t seed, int rate, std::string& error) {
  SServerOptions options;
  options.seed = seed;
  options.rate = rate;
  auto server = std::make_unique<CQuoteServer>(options);
  if (!server->Start(&error)) return nullptr;
  return std::unique_ptr<CBuiltinSimulator>(new CBuiltinSimulator(std::move(server)));
}

int CBuiltinSimulator::Port() const { return m_server->Port(); }

}  // namespace vok::sim
