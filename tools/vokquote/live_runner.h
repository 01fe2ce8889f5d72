// CLiveRunner: what every live subcommand shares. It reads the password, starts the built-in
// simulator when no server is named, opens the session, waits for the logon, subscribes, and runs
// the main thread's loop (the component's message loop, signals, keys, redraws) until a limit,
// q, Ctrl-C, SIGTERM or the server's "logged in elsewhere" notice ends it. Records go out as JSON
// lines, or into the subcommand's view (ILiveView) drawn full-screen - or, on a terminal without
// cursor control, as plain frames one below the other. Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "book_view.h"
#include "client_api.h"
#include "quote_listener.h"
#include "session.h"
#include "staleness.h"
#include "system.h"

namespace vok::sim {
class CBuiltinSimulator;
}

namespace vok::cli {

// Exit statuses of vokquote.
inline constexpr int kExitOk = 0;
inline constexpr int kExitMissingQuote = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitConnection = 3;

// A subcommand's full-screen view: it takes the records it shows and renders its lines.
class ILiveView {
 public:
  virtual ~ILiveView() = default;
  // Each returns whether the view changed.
  virtual bool OnQuote(const QUOTERECORD&) { return false; }
  virtual bool OnLevel2(const LEVEL2RECORD&) { return false; }
  virtual bool OnTimeAndSales(const TSRECORD&) { return false; }
  virtual bool OnOptions(const OPTIONSRECORD&) { return false; }
  // The symbol turned stale or fresh: a view that shows it marks it; returns whether it changed.
  virtual bool OnStaleness(const std::string& /*symbol*/, bool /*stale*/) { return false; }
  // A view that changes without records (statistics) is redrawn this often; 0: only on records.
  virtual std::uint64_t RefreshMs() const { return 0; }
  // Lines above the status line; rows is how many fit.
  virtual std::vector<std::string> Render(int rows, bool colour, const AggregateSize& aggregate) = 0;
};

class CLiveRunner final : private IQuoteListener {
 public:
  // Blocks the signals it watches: construct it before any other thread starts.
  explicit CLiveRunner(const SArguments& args);
  CLiveRunner(const CLiveRunner&) = delete;
  CLiveRunner& operator=(const CLiveRunner&) = delete;
  ~CLiveRunner();

  // Streams records of serviceFlags for the symbols into view (full screen) or as JSON lines.
  // Returns the exit status.
  int RunLive(long serviceFlags, ILiveView& view);
  // One quote per symbol, all asked for at once and awaited together, printed as JSON lines or
  // as a board; 1 when one did not arrive in time.
  int RunQuotes();

 private:
  enum class EStop { None, Done, Signal, OutputGone, Notice };

  int Finish(bool connected);
  // The password, read before anything starts. False with m_error set.
  bool ReadSecret();
  // Session and logon. False with m_error set, or on a signal.
  bool Connect();
  // Pumps the component's messages, signals and keys until deadlineMs (monotonic) or a stop.
  void Pump(std::uint64_t deadlineMs);
  void Redraw();
  void WriteLine(const std::string& line);
  bool CountRecord();
  // Where the connection stands, as the status line says it.
  std::string StateText();
  std::string StatusLine();
  void NoteEvent(std::string text);

  // A record of symbol arrived: a stale symbol turns fresh (said in JSON before the record).
  void NoteRecord(BSTR symbol);
  // Says in JSON (or on the status line) that the symbols turned stale or fresh.
  void NoteStaleness(const std::vector<std::string>& symbols, bool stale);

  void OnQuote(const QUOTERECORD& rec) override;
  void OnLevel2(const LEVEL2RECORD& rec) override;
  void OnTimeAndSales(const TSRECORD& rec) override;
  void OnOptions(const OPTIONSRECORD& rec) override;
  void OnEvent(EConnectionEvent event, long errorCode) override;
  void OnNotice(const std::string& text) override;

  const SArguments& m_args;
  CSignalWatcher m_signals;
  std::unique_ptr<sim::CBuiltinSimulator> m_simulator;
  std::string m_host;
  int m_port = 0;
  std::unique_ptr<CSession> m_session;
  bool m_json = false;  // events and records as JSON lines on stdout
  bool m_colour = false;
  class CScreen;
  std::unique_ptr<CScreen> m_screen;
  ILiveView* m_view = nullptr;
  AggregateSize m_aggregate;

  EStop m_stop = EStop::None;
  int m_signal = 0;
  bool m_dirty = false;
  bool m_connected = false;
  bool m_loggedOn = false;
  bool m_everLoggedOn = false;  // a logon succeeded at least once
  bool m_closedBeforeLogon = false;
  long m_connectError = 0;            // the system's reason of the last failed connect; 0 after a connect
  std::uint64_t m_downSinceMs = 0;    // monotonic time of the last close or failed connect
  std::uint64_t m_retryWithinMs = 0;  // the longest the service waits before it tries again
  // quote: the first record of each symbol, as its JSON line (empty until it arrives).
  bool m_quoteMode = false;
  std::vector<std::string> m_quoteLines;
  std::unique_ptr<class CBoardView> m_quoteBoard;
  std::int64_t m_records = 0;
  std::optional<CStalenessTracker> m_staleness;  // live views only
  std::string m_lastEvent;
  std::string m_error;
  std::string m_password;  // clear text until the session has it, then wiped
  CThreadChecker m_thread;
};

}  // namespace vok::cli
