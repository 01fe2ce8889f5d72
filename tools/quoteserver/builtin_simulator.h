// vok::sim::CBuiltinSimulator: the simulator as a program embeds it when the user names no server
// (vokquote, the Python binding): its seeded market on an ephemeral loopback port, with nothing of
// the simulator's or the component's internals in sight. Start and destroy it on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vok::sim {

class CQuoteServer;

class CBuiltinSimulator {
 public:
  // Listens on 127.0.0.1 and streams rate updates a second per symbol and service, the same market
  // for the same seed. Null, with error set, when it cannot start.
  static std::unique_ptr<CBuiltinSimulator> Start(std::uint64_t seed, int rate, std::string& error);
  CBuiltinSimulator(const CBuiltinSimulator&) = delete;
  CBuiltinSimulator& operator=(const CBuiltinSimulator&) = delete;
  // Closes every session and stops the server thread.
  ~CBuiltinSimulator();

  int Port() const;

 private:
  explicit CBuiltinSimulator(std::unique_ptr<CQuoteServer> server);

  std::unique_ptr<CQuoteServer> m_server;
};

}  // namespace vok::sim
