// CSession: vokquote's use of the public API. It creates the quote service object, gives it the
// server and the logon, connects its event sink to the events connection point, connects, and
// subscribes with one callback object; records, events and the server's "logged in elsewhere"
// notice (through the host's notice handler, one per process) reach the listener on the main thread:
// records from the library's message loop (the live loop polls VokMessageLoopFd), events and the
// notice through the session's mailbox (Mailbox()->Fd()). Every call, construction and destruction
// happen on the main thread. Destruction unsubscribes, disconnects and releases.
#pragma once

#include <memory>
#include <string>

#include <vokquote/event_sink.h>

#include "client_api.h"
#include "mailbox.h"
#include "notify_sink.h"
#include "quote_listener.h"

namespace vok::cli {

// Owned by the session on the main thread; events and notices posted after it is gone are dropped.
struct SEventRelay {
  IQuoteListener* listener = nullptr;
};

struct SConnectSettings {
  std::string host;
  int port = 0;
  std::string user;
  std::string password;  // clear text; the service object transforms it
  bool tls = false;
  std::string caFile;  // empty: the system's trust store
  bool immediate = false;
};

class CSession {
 public:
  explicit CSession(IQuoteListener& listener);
  CSession(const CSession&) = delete;
  CSession& operator=(const CSession&) = delete;
  ~CSession();

  // Creates the object, applies settings and asks it to connect. The outcome arrives as events.
  // False with a one-line error (never containing the password) when that fails.
  bool Open(const SConnectSettings& settings, std::string& error);
  bool Subscribe(const std::string& symbol, long serviceFlags);
  // The cached aggregate level 2 size at a price and side; -1 when the cache has none.
  long AggregateSize(const std::string& symbol, double price, enumMarketSide side);
  // One level 1 quote (blocks, pumping the thread's messages). False when none arrived in time;
  // rec then stays empty. On success the caller owns the record's strings (FreeQuote).
  bool SingleQuote(const std::string& symbol, long timeoutMs, QUOTERECORD& rec);
  static void FreeQuote(QUOTERECORD& rec);
  enumConnectionState State();
  std::string ServerName();
  // Where events and the notice wait for the main thread.
  CMailbox& Mailbox() { return *m_mailbox; }

 private:
  void Close();
  static void OnNoticeText(const char* text, void* context);

  std::shared_ptr<CMailbox> m_mailbox;
  std::shared_ptr<SEventRelay> m_relay;
  CComPtr<IVokQuotes> m_quotes;
  CComPtr<IConnectionPoint> m_events;
  DWORD m_cookie = 0;
  CComPtr<CNotifySink> m_notify;
  bool m_noticeHandler = false;  // this session registered the process's notice handler
  CThreadChecker m_thread;
};

}  // namespace vok::cli
