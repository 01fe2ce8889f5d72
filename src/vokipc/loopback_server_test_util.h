// A loopback server for the transport tests and a recorder behind the transport's callback table;
// both wait for conditions with bounded waits, never for time.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "vkdll/trace_test_util.h"
#include "vokipc/vokipc.h"

namespace vok::test {

class CLoopbackServer {
  template <typename F>
  decltype(auto) Locked(F read) {
    std::lock_guard<std::mutex> lock(m_lock);
    return read();
  }

 public:
  explicit CLoopbackServer(const char* address = "127.0.0.1") {
    IpcStartup();
    m_listening = m_listener.Listen(address);
    if (m_listening) m_acceptor = std::thread([this] { AcceptLoop(); });
  }
  ~CLoopbackServer() {
    m_stop = true;
    if (m_acceptor.joinable()) m_acceptor.join();
    for (auto& peer : m_peers) peer->socket.Shutdown();
    for (auto& peer : m_peers) peer->reader.join();
    IpcCleanup();
  }

  bool Listening() const { return m_listening; }
  int Port() const { return m_listener.Port(); }

  // Waits for the index-th accepted connection (0-based).
  bool WaitForPeer(std::size_t index) {
    return WaitUntil([&] { return Locked([&] { return m_peers.size() > index; }); });
  }
  bool Write(std::size_t index, const std::string& bytes) {
    return Peer(index).socket.SendAll(bytes.data(), bytes.size());
  }
  // Ends the index-th connection from the server's side.
  void Drop(std::size_t index) { Peer(index).socket.Shutdown(); }
  // Waits until the index-th connection has received at least count line feeds; returns the lines.
  std::vector<std::string> WaitForLines(std::size_t index, std::size_t count) {
    WaitUntil([&] { return Locked([&] { return m_peers.size() > index && m_peers[index]->lines.size() >= count; }); });
    return Locked([&] { return m_peers.size() > index ? m_peers[index]->lines : std::vector<std::string>{}; });
  }
  // True once the server read the end of the index-th connection's stream.
  bool WaitForPeerEnd(std::size_t index) {
    return WaitUntil([&] { return Locked([&] { return m_peers.size() > index && m_peers[index]->ended; }); });
  }

 private:
  struct SPeer {
    CSocket socket;
    std::thread reader;
    std::string partial;
    std::vector<std::string> lines;
    bool ended = false;
  };

  SPeer& Peer(std::size_t index) {
    return Locked([&]() -> SPeer& { return *m_peers.at(index); });
  }

  void AcceptLoop() {
    while (!m_stop) {
      CSocket socket = m_listener.Accept(50);
      if (!socket.IsValid()) continue;
      std::lock_guard<std::mutex> lock(m_lock);
      m_peers.push_back(std::make_unique<SPeer>());
      SPeer* peer = m_peers.back().get();
      peer->socket = std::move(socket);
      peer->reader = std::thread([this, peer] { ReadLoop(*peer); });
    }
  }

  void ReadLoop(SPeer& peer) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      const int received = peer.socket.Receive(buffer.data(), static_cast<int>(buffer.size()));
      std::lock_guard<std::mutex> lock(m_lock);
      if (received <= 0) {
        peer.ended = true;
        return;
      }
      peer.partial.append(buffer.data(), static_cast<std::size_t>(received));
      for (std::size_t end; (end = peer.partial.find('\n')) != std::string::npos; peer.partial.erase(0, end + 1)) {
        peer.lines.push_back(peer.partial.substr(0, end));
      }
    }
  }

  CListenSocket m_listener;
  bool m_listening = false;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::mutex m_lock;
  std::vector<std::unique_ptr<SPeer>> m_peers;  // guarded by m_lock (the vector; peers are stable)
};

// What the transport called back, per handle. One recorder is current at a time; the static
// callback table forwards to it.
class CCallbackRecorder {
  template <typename F>
  decltype(auto) Locked(F read) {
    std::lock_guard<std::mutex> lock(m_lock);
    return read();
  }

 public:
  CCallbackRecorder() { s_current = this; }
  ~CCallbackRecorder() { s_current = nullptr; }

  static const IPCCALLBACKS* Table() {
    static const IPCCALLBACKS s_table{[](IPCHANDLE, int, int) {}, &OnData, &OnClosed, nullptr};
    return &s_table;
  }

  // Runs on the reader thread inside the data callback, after the line is recorded.
  std::function<void(IPCHANDLE, const std::string&)> onData;

  std::vector<std::string> Lines(IPCHANDLE handle) {
    return Locked([&] { return m_lines[handle]; });
  }
  int Closed(IPCHANDLE handle) {
    return Locked([&] { return m_closed[handle]; });
  }
  std::size_t Calls() {
    return Locked([&] { return m_calls; });
  }
  bool WaitForLines(IPCHANDLE handle, std::size_t count) {
    return WaitUntil([&] { return Lines(handle).size() >= count; });
  }
  bool WaitForClosed(IPCHANDLE handle) {
    return WaitUntil([&] { return Closed(handle) > 0; });
  }

 private:
  static void OnData(IPCHANDLE handle, const char* text, int length) {
    CCallbackRecorder* self = s_current;
    if (self == nullptr) return;
    EXPECT_EQ(text[length], '\0') << "the text ends right after length bytes";
    const std::string line(text, static_cast<std::size_t>(length));
    {
      std::lock_guard<std::mutex> lock(self->m_lock);
      self->m_lines[handle].push_back(line);
      ++self->m_calls;
    }
    if (self->onData) self->onData(handle, line);
  }
  static void OnClosed(IPCHANDLE handle) {
    CCallbackRecorder* self = s_current;
    if (self == nullptr) return;
    std::lock_guard<std::mutex> lock(self->m_lock);
    ++self->m_closed[handle];
    ++self->m_calls;
  }

  static inline std::atomic<CCallbackRecorder*> s_current{nullptr};
  std::mutex m_lock;
  std::map<IPCHANDLE, std::vector<std::string>> m_lines;
  std::map<IPCHANDLE, int> m_closed;
  std::size_t m_calls = 0;
};

}  // namespace vok::test
