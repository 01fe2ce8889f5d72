// CBindingSession: one quote service object as the Python binding drives it. Its loop thread
// creates the object, connects it and makes every subscription, so the library delivers all
// records there; streams take them from their queues on Python's threads. Connection events
// arrive on library threads and are recorded in the shared SConnectionState. Public methods may be called
// from any thread that does not hold the interpreter lock while they wait.
// Lock order: the connection state's mutex, then a queue's own mutex; m_objectMutex alone.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <vokquote/event_sink.h>
#include <vokquote/records.h>

#include "com_ref.h"
#include "loop_thread.h"
#include "notify_sink.h"
#include "record_queue.h"

namespace vok::py {

struct SSessionSettings {
  std::u16string address;  // "host:port"
  std::u16string user;
  std::u16string password;  // clear text; wiped once the service object has it
  std::size_t queueBound = 65536;
};

enum class ELogon { Waiting, LoggedOn, ConnectFailed, Refused, Closed };

// One subscription set: a queue and the callback object that fills it.
struct SStream {
  std::shared_ptr<CRecordQueue> queue;
  CComRef<CQueueNotifySink> sink;  // released on the loop thread
  bool open = true;                // loop thread only
};

struct SConnectionState;

class CBindingSession {
 public:
  CBindingSession();
  CBindingSession(const CBindingSession&) = delete;
  CBindingSession& operator=(const CBindingSession&) = delete;
  ~CBindingSession();  // Close

  // Starts the loop thread, creates and configures the service object and asks it to connect.
  // False with a one-line error (never holding the password).
  bool Open(SSessionSettings settings, std::string& error);
  // Waits up to timeoutMs for the outcome of the first logon; code is the system's error number
  // of a failed connect.
  ELogon WaitForLogon(int timeoutMs, std::int32_t& code);

  // Subscribes every symbol for serviceFlags with one new stream. Null with refused set and
  // badSymbol named when the library refuses a symbol (nothing stays subscribed then); null alone
  // once the session is closed.
  std::shared_ptr<SStream> Subscribe(const std::vector<std::u16string>& symbols, LONG serviceFlags, bool& refused,
                                     std::u16string& badSymbol);
  // Ends a stream's subscriptions and closes its queue; wait false only posts the work.
  void Unsubscribe(const std::shared_ptr<SStream>& stream, bool wait);
  // A new queue that receives every later connection event.
  std::shared_ptr<CRecordQueue> Events();

  // The library's cached records and single quote; false when there is none (a symbol the library
  // refuses sets invalid). Safe on any thread; SingleQuote waits.
  bool CachedQuote(const std::u16string& symbol, SBindingRecord& out, bool& invalid);
  bool CachedOption(const std::u16string& symbol, SBindingRecord& out, bool& invalid);
  bool SingleQuote(const std::u16string& symbol, int timeoutMs, SBindingRecord& out, bool& invalid);
  long AggregateSize(const std::u16string& symbol, double price, enumMarketSide side, bool& invalid);
  enumConnectionState State();
  std::u16string ServerName();

  // Unsubscribes everything, disconnects, releases the object and stops the loop thread; every
  // queue is closed. Idempotent.
  void Close();

 private:
  CComRef<IVokQuotes> Object();

  const std::shared_ptr<SConnectionState> m_state;  // shared with the event sink
  std::size_t m_queueBound = 65536;
  CLoopThread m_loop;

  std::mutex m_objectMutex;
  CComRef<IVokQuotes> m_quotes;  // guarded by m_objectMutex; made and released on the loop thread
  // Loop thread only:
  CComRef<IConnectionPoint> m_events;
  DWORD m_cookie = 0;
  std::vector<std::shared_ptr<SStream>> m_streams;
};

}  // namespace vok::py
