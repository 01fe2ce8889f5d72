// CTcpConnection: one open stream of the transport with its reader thread. The reader frames the
// stream into lines and calls the data callback for each; when the stream ends by itself it calls
// the closed callback once. Close stops all callbacks: it wakes the reader and joins it, except on
// the reader's own thread (a callback that closes its own handle), where the reader just ends.
//
// A send that fails (the peer is gone, or stopped reading for the send bound) ends the stream, so
// the reader reports it closed.
//
// Threads: Send from any thread (one lock serialises the writers, so messages never interleave);
// Close from any thread, once, by whoever took the connection out of the handle table.
//
// Over TLS the same holds; the session then carries the bytes in place of the bare socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "platform/tls.h"
#include "vokipc/line_framer.h"
#include "vokipc/vokipc.h"

class CTcpConnection : public std::enable_shared_from_this<CTcpConnection> {
 public:
  // Called on the reader thread after the stream ended by itself and the closed callback
  // returned: true when the handle was still registered and is now removed (the reader then owns
  // its own end and detaches), false when a Close already took it.
  using ReaderEndHook = bool (*)(IPCHANDLE handle);

  CTcpConnection(IPCHANDLE handle, vok::CSocket socket, const IPCCALLBACKS* callbacks);
  CTcpConnection(IPCHANDLE handle, std::unique_ptr<vok::CTlsClient> tls, const IPCCALLBACKS* callbacks);
  CTcpConnection(const CTcpConnection&) = delete;
  CTcpConnection& operator=(const CTcpConnection&) = delete;
  ~CTcpConnection();

  // Starts the reader; call it once the handle is registered.
  bool Start(ReaderEndHook onReaderEnd);
  bool Send(const char* bytes, int length);
  bool IsConnected() const { return m_connected.load(); }
  void Close();

  IPCHANDLE Handle() const { return m_handle; }

 private:
  void ReadLoop();
  bool Deliver(const char* text, int length);
  // The lines of one read in one call, for a receiver that takes them so.
  bool DeliverLines(const std::vector<IPCLINE>& lines);
  int Receive(char* buffer, int size);
  void ShutdownStream();

  const IPCHANDLE m_handle;
  const IPCCALLBACKS* const m_callbacks;
  vok::CSocket m_socket;                   // plain streams
  std::unique_ptr<vok::CTlsClient> m_tls;  // TLS streams (m_socket is then empty)
  std::mutex m_sendLock;                   // held for one whole message
  std::atomic<bool> m_connected{true};
  // Set by Close or by the reader at its end; whoever sets it first decides whether the closed
  // callback comes (the reader) or not (Close).
  std::atomic<bool> m_closing{false};
  CLineFramer m_framer;  // reader thread only
  // Held by Start until m_reader is set; the reader waits for it before it reads a byte.
  std::mutex m_startLock;
  std::thread m_reader;
  std::thread::id m_readerId;  // set under m_startLock
};

// Waits up to timeoutMs until at most `stillOpen` reader threads run (not counting the caller's
// own), so that the last cleanup of the library can wait for readers that are on their way out;
// false when some still ran at the end.
bool WaitForReaders(int stillOpen, std::uint32_t timeoutMs);
