// The shared flow of the live subcommands: connection, subscription, the main loop and output.
#include "live_runner.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "board_view.h"
#include "builtin_simulator.h"
#include "json_writer.h"
#include "ole_time.h"
#include "password.h"
#include "record_json.h"
#include "screen.h"
#include "stats_view.h"
#include "system.h"
#include "terminal.h"

namespace vok::cli {
namespace {

constexpr std::uint64_t kNoDeadline = UINT64_MAX;
constexpr std::uint64_t kRedrawMs = 100;

std::string Endpoint(const std::string& host, int port) { return host + ":" + std::to_string(port); }

void PrintError(const std::string& text) {
  const std::string line = "vokquote: " + text + "\n";
  WriteAll(kStdErr, line);
}

}  // namespace

// The screen of the live views: the terminal taken over and frames drawn into it in place, or,
// without cursor control, plain frames written one below the other.
class CLiveRunner::CScreen {
 public:
  explicit CScreen(bool cursorControl) {
    if (cursorControl) m_terminal.emplace(kStdIn, kStdOut);
  }
  bool Draw(const std::vector<std::string>& lines, const std::string& status) {
    int width = 0, height = 0;
    TerminalSize(kStdOut, width, height);
    if (!m_terminal) return WriteAll(kStdOut, ComposePlainFrame(lines, status, width, height));
    return m_terminal->Write(ComposeFrame(lines, status, width, height));
  }
  int Rows() const {
    int width = 0, height = 0;
    TerminalSize(kStdOut, width, height);
    return std::max(height - 1, 1);
  }
  // Plain frames scroll, so they are written less often.
  std::uint64_t RedrawMs() const { return m_terminal ? kRedrawMs : 1000; }

 private:
  std::optional<CTerminalScreen> m_terminal;
};

CLiveRunner::CLiveRunner(const SArguments& args) : m_args(args) {}

CLiveRunner::~CLiveRunner() {
  // The session goes before the simulator it may be talking to, and leaves the screen drawn.
  m_session.reset();
  m_screen.reset();
  WipeText(m_password);
}

void CLiveRunner::WriteLine(const std::string& line) {
  if (m_stop == EStop::OutputGone) return;
  if (!WriteAll(kStdOut, line + "\n")) m_stop = EStop::OutputGone;
}

bool CLiveRunner::CountRecord() {
  if (m_stop != EStop::None) return false;
  ++m_records;
  if (m_args.count > 0 && m_records >= m_args.count) m_stop = EStop::Done;
  return true;
}

void CLiveRunner::NoteEvent(std::string text) {
  m_lastEvent = std::move(text) + " at " + UnixMsToClock(NowUnixMs(), m_args.utc) + " " + ZoneLabel(m_args.utc);
  m_dirty = true;
}

void CLiveRunner::OnQuote(const QUOTERECORD& rec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (m_quoteMode) {
    // The first record of each symbol is its snapshot; the quote ends once every symbol has one.
    const std::string symbol = rec.bstrSymbol != nullptr ? CBstr::ToUtf8(rec.bstrSymbol) : std::string();
    const auto at = std::find(m_args.symbols.begin(), m_args.symbols.end(), symbol);
    if (at == m_args.symbols.end() || m_stop != EStop::None) return;
    std::string& line = m_quoteLines[static_cast<std::size_t>(at - m_args.symbols.begin())];
    if (!line.empty()) return;
    line = QuoteJson(rec, NowUnixMs());
    if (m_quoteBoard) m_quoteBoard->Update(rec);
    if (std::none_of(m_quoteLines.begin(), m_quoteLines.end(), [](const std::string& each) { return each.empty(); }))
      m_stop = EStop::Done;
    return;
  }
  if (!CountRecord()) return;
  NoteRecord(rec.bstrSymbol);
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnQuote(rec);
  } else {
    WriteLine(QuoteJson(rec, NowUnixMs()));
  }
}

void CLiveRunner::OnLevel2(const LEVEL2RECORD& rec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  NoteRecord(rec.bstrSymbol);
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnLevel2(rec);
  } else {
    const long aggregate = m_aggregate ? m_aggregate(rec.dPrice, rec.side) : -1;
    WriteLine(Level2Json(rec, NowUnixMs(), aggregate >= 0 ? std::optional<long>(aggregate) : std::nullopt));
  }
}

void CLiveRunner::OnTimeAndSales(const TSRECORD& rec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  NoteRecord(rec.bstrSymbol);
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnTimeAndSales(rec);
  } else {
    WriteLine(TsJson(rec, NowUnixMs()));
  }
}

void CLiveRunner::OnOptions(const OPTIONSRECORD& rec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  NoteRecord(rec.bstrUnderlier);
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnOptions(rec);
  } else {
    WriteLine(OptionsJson(rec, NowUnixMs()));
  }
}

void CLiveRunner::OnEvent(EConnectionEvent event, long errorCode) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  switch (event) {
    case EConnectionEvent::Connect:
      m_connectError = errorCode;
      if (errorCode == 0) {
        m_connected = true;
      } else {
        m_downSinceMs = MonotonicMs();
        m_retryWithinMs = VOK_CONNECT_RETRY_MS;
      }
      break;
    case EConnectionEvent::LogonSucceed:
      m_loggedOn = true;
      // After a reconnect what the views show is old until each symbol is sent again.
      if (m_everLoggedOn && m_staleness && m_stop == EStop::None) NoteStaleness(m_staleness->OnReconnect(), true);
      m_everLoggedOn = true;
      break;
    case EConnectionEvent::Close:
      // Only a close after a made connection is a refused logon; a failed connect says why itself.
      if (m_connected && !m_loggedOn) m_closedBeforeLogon = true;
      m_loggedOn = false;
      m_connected = false;
      m_downSinceMs = MonotonicMs();
      m_retryWithinMs = VOK_RECONNECT_BASE_MS + 4 * VOK_RECONNECT_STEP_MS;
      break;
  }
  if (m_stop != EStop::None) return;
  if (m_screen) {
    NoteEvent(std::string(EventName(event)) +
              (event == EConnectionEvent::LogonSucceed ? "" : "(" + std::to_string(errorCode) + ")"));
  } else if (m_json) {
    WriteLine(EventJson(EventName(event),
                        event == EConnectionEvent::LogonSucceed ? std::nullopt : std::optional<long>(errorCode),
                        NowUnixMs()));
  }
}

void CLiveRunner::NoteRecord(BSTR symbol) {
  if (!m_staleness || symbol == nullptr) return;
  const std::string name = CBstr::ToUtf8(symbol);
  if (m_staleness->OnRecord(name, MonotonicMs())) NoteStaleness({name}, false);
}

void CLiveRunner::NoteStaleness(const std::vector<std::string>& symbols, bool stale) {
  if (symbols.empty()) return;
  m_dirty = true;
  if (m_view != nullptr)
    for (const std::string& symbol : symbols) m_view->OnStaleness(symbol, stale);
  if (!m_json) return;
  for (const std::string& symbol : symbols) {
    CJsonWriter json;
    json.String("kind", stale ? "stale" : "fresh")
        .String("received", UnixMsToText(NowUnixMs()))
        .String("bstrSymbol", symbol);
    WriteLine(json.Finish());
  }
}

void CLiveRunner::OnNotice(const std::string& text) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (m_stop != EStop::None) return;
  const std::string shown = ShownText(text, 200);
  m_error = "the server ended the session, the user is logged in elsewhere: " + shown;
  if (m_json) WriteLine(EventJson("notice", std::nullopt, NowUnixMs(), shown));
  m_stop = EStop::Notice;
}

std::string CLiveRunner::StateText() {
  switch (m_session ? m_session->State() : csDisconnected) {
    case csLoggedIn:
      return "logged on as " + m_args.user;
    case csConnected:
    case csLoggingIn:
      return "connected, logging on";
    case csConnecting:
      return "connecting";
    default:
      break;
  }
  if (m_downSinceMs == 0) return "connecting";
  std::string text = m_connectError != 0
                         ? "cannot connect: " + std::string(std::strerror(static_cast<int>(m_connectError)))
                         : std::string("disconnected");
  const std::uint64_t waited = MonotonicMs() - m_downSinceMs;
  if (waited < m_retryWithinMs)
    return text + ", reconnecting within " + std::to_string((m_retryWithinMs - waited + 999) / 1000) + " s";
  return text + ", reconnecting";
}

std::string CLiveRunner::StatusLine() {
  std::string status = " " + Endpoint(m_host, m_port);
  if (m_simulator) status += " (built-in simulator)";
  status += " | " + StateText();
  status += " | " + std::to_string(m_records) + " updates";
  if (!m_lastEvent.empty()) status += " | " + m_lastEvent;
  if (m_staleness) {
    std::string stale;
    for (const std::string& symbol : m_staleness->Stale()) stale += (stale.empty() ? "" : " ") + symbol;
    if (!stale.empty()) status += " | stale: " + ShownText(stale, 60);
  }
  return status + " | q quits";
}

void CLiveRunner::Redraw() {
  if (!m_screen) return;
  const std::vector<std::string> lines =
      m_view != nullptr ? m_view->Render(m_screen->Rows(), m_colour, m_aggregate) : std::vector<std::string>();
  if (!m_screen->Draw(lines, StatusLine())) m_stop = EStop::OutputGone;
  m_dirty = false;
}

void CLiveRunner::Pump(std::uint64_t deadlineMs) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  std::uint64_t lastDraw = 0;
  bool keys = m_screen != nullptr && IsTerminal(kStdIn);
  const std::uint64_t statsEvery = m_json ? static_cast<std::uint64_t>(m_args.statsEveryMs) : 0;
  const std::uint64_t refresh = m_screen && m_view != nullptr ? m_view->RefreshMs() : 0;
  std::uint64_t nextTick = MonotonicMs() + std::max(statsEvery, refresh);
  CFeedStatsSampler stats;
  if (statsEvery > 0) stats.Sample();
  while (m_stop == EStop::None) {
    const std::uint64_t now = MonotonicMs();
    if (m_staleness) NoteStaleness(m_staleness->Check(now), true);
    if ((statsEvery > 0 || refresh > 0) && now >= nextTick) {
      if (statsEvery > 0) {
        stats.Sample();
        WriteLine(stats.Json());
      }
      m_dirty = true;
      nextTick = now + std::max(statsEvery, refresh);
    }
    const std::uint64_t redrawMs = m_screen ? m_screen->RedrawMs() : kRedrawMs;
    // While the connection is down the status line counts down to the next attempt.
    if (m_screen && !m_loggedOn && now - lastDraw >= 1000) m_dirty = true;
    if (m_dirty && m_screen && now - lastDraw >= redrawMs) {
      Redraw();
      lastDraw = now;
    }
    if (now >= deadlineMs || m_stop != EStop::None) return;
    std::uint64_t wait = deadlineMs == kNoDeadline ? 1000 : deadlineMs - now;
    if (m_dirty && m_screen) wait = std::min<std::uint64_t>(wait, redrawMs - std::min(redrawMs, now - lastDraw));
    if (statsEvery > 0 || refresh > 0) wait = std::min<std::uint64_t>(wait, nextTick - std::min(nextTick, now));
    if (m_staleness)
      wait = std::min<std::uint64_t>(wait, m_staleness->NextCheckMs() - std::min(m_staleness->NextCheckMs(), now));
    const int fds[4] = {VokMessageLoopFd(), m_signals.Fd(), m_session ? m_session->Mailbox().Fd() : -1,
                        keys ? kStdIn : -1};
    const unsigned ready = WaitReadable(fds, 4, static_cast<int>(std::min<std::uint64_t>(wait, 1000)));
    // Connection events before records, so a logon is told before the records it brings.
    if ((ready & 4u) != 0) m_session->Mailbox().RunPending();
    if ((ready & 1u) != 0) VokPumpMessages();
    if ((ready & 2u) != 0) {
      for (int signal = m_signals.Take(); signal != 0; signal = m_signals.Take()) {
        if (signal == SIGWINCH) {
          m_dirty = true;
        } else if (m_stop == EStop::None || m_stop == EStop::Done) {
          m_signal = signal;
          m_stop = EStop::Signal;
        }
      }
    }
    if ((ready & 8u) != 0) {
      char buffer[64];
      const long got = ReadSome(kStdIn, buffer, sizeof buffer);
      if (got <= 0) keys = false;
      for (long i = 0; i < got; ++i)
        if (buffer[i] == 'q' || buffer[i] == 'Q') m_stop = EStop::Done;
    }
  }
}

bool CLiveRunner::ReadSecret() { return ReadPassword(m_args.passwordFile, m_password, m_error); }

bool CLiveRunner::Connect() {
  const std::uint64_t deadline = MonotonicMs() + static_cast<std::uint64_t>(m_args.connectTimeoutMs);
  SConnectSettings settings{.host = m_host,
                            .port = m_port,
                            .user = m_args.user,
                            .password = {},
                            .tls = m_args.tls,
                            .caFile = m_args.caFile,
                            .immediate = m_args.immediate};
  settings.password.swap(m_password);
  std::string error;
  m_session = std::make_unique<CSession>(static_cast<IQuoteListener&>(*this));
  const bool opened = m_session->Open(settings, error);
  WipeText(settings.password);
  if (!opened) {
    m_error = error;
    return false;
  }
  Redraw();
  // A logon counts even when the connection dropped again in the same batch of events: from here
  // on the view shows the reconnects.
  while (m_stop == EStop::None && !m_everLoggedOn && !m_closedBeforeLogon && m_connectError == 0 &&
         MonotonicMs() < deadline) {
    Pump(std::min(deadline, MonotonicMs() + 50));
  }
  if (m_everLoggedOn) return true;
  const std::string endpoint = Endpoint(m_host, m_port);
  if (m_stop != EStop::None) return false;
  if (m_connectError == VOK_ERROR_TLS_REFUSED) {
    m_error = "cannot connect to " + endpoint + ": the server's TLS certificate was refused";
  } else if (m_connectError == VOK_ERROR_TLS_HANDSHAKE) {
    m_error = "cannot connect to " + endpoint + ": no TLS session (does the server speak TLS?)";
  } else if (m_connectError != 0) {
    m_error = "cannot connect to " + endpoint + ": " + std::strerror(static_cast<int>(m_connectError));
  } else if (m_closedBeforeLogon) {
    m_error = "the server at " + endpoint + " closed the connection during logon: user '" + m_args.user +
              "' or the password was refused";
  } else if (m_connected) {
    m_error = "the server at " + endpoint + " did not answer the logon within " +
              std::to_string(m_args.connectTimeoutMs) + " ms";
  } else {
    m_error =
        "cannot connect to " + endpoint + ": no connection within " + std::to_string(m_args.connectTimeoutMs) + " ms";
  }
  return false;
}

// Starts the built-in simulator when no server was named; false with m_error when it cannot.
static bool StartSimulator(const SArguments& args, std::unique_ptr<sim::CBuiltinSimulator>& server, std::string& host,
                           int& port, std::string& error) {
  if (!args.host.empty()) {
    host = args.host;
    port = args.port;
    return true;
  }
  std::string why;
  server = sim::CBuiltinSimulator::Start(args.seed, args.rate, why);
  if (!server) {
    error = "cannot start the built-in simulator: " + why;
    return false;
  }
  host = "127.0.0.1";
  port = server->Port();
  char note[200];
  std::snprintf(note, sizeof note,
                "vokquote: no --server given; started the built-in simulator on %s:%d (seed %llu, %d updates per "
                "second)\n",
                host.c_str(), port, static_cast<unsigned long long>(args.seed), args.rate);
  WriteAll(kStdErr, note);
  return true;
}

// How a run ended, as the exit status; the error, if any, goes to stderr.
int CLiveRunner::Finish(bool connected) {
  if (m_stop == EStop::Signal) return 128 + m_signal;
  if (m_stop == EStop::Notice || !connected) {
    PrintError(m_error);
    return kExitConnection;
  }
  return kExitOk;
}

int CLiveRunner::RunLive(long serviceFlags, ILiveView& view) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  m_view = &view;
  const bool screen = !m_args.json && IsTerminal(kStdOut);
  m_json = !screen;
  m_colour = screen && TerminalWantsColour();
  const std::string first = m_args.symbols.empty() ? std::string() : m_args.symbols.front();
  m_aggregate = [this, first](double price, enumMarketSide side) {
    return m_session ? m_session->AggregateSize(first, price, side) : -1L;
  };
  if (!ReadSecret()) {
    PrintError(m_error);
    return kExitUsage;
  }
  if (!StartSimulator(m_args, m_simulator, m_host, m_port, m_error)) {
    PrintError(m_error);
    return kExitConnection;
  }
  const std::uint64_t start = MonotonicMs();
  if (screen) m_screen = std::make_unique<CScreen>(TerminalHasCursorControl());
  bool connected = Connect();
  if (connected) {
    for (const auto& symbol : m_args.symbols) {
      if (!m_session->Subscribe(symbol, serviceFlags)) {
        m_error = "cannot subscribe " + ShownSymbol(symbol);
        connected = false;
        break;
      }
    }
  }
  if (connected) {
    m_dirty = true;
    m_staleness.emplace(m_args.symbols, static_cast<std::uint64_t>(m_args.staleAfterMs), MonotonicMs());
    Pump(m_args.durationMs > 0 ? start + static_cast<std::uint64_t>(m_args.durationMs) : kNoDeadline);
  }
  // Leave the screen before anything is said on the terminal.
  m_session.reset();
  m_screen.reset();
  return Finish(connected);
}

int CLiveRunner::RunQuotes() {
  VOK_CLI_DCHECK_THREAD(m_thread);
  const bool text = !m_args.json && IsTerminal(kStdOut);
  m_json = !text;
  if (!ReadSecret()) {
    PrintError(m_error);
    return kExitUsage;
  }
  if (!StartSimulator(m_args, m_simulator, m_host, m_port, m_error)) {
    PrintError(m_error);
    return kExitConnection;
  }
  bool connected = Connect();
  m_quoteMode = true;
  m_quoteLines.assign(m_args.symbols.size(), std::string());
  if (text) m_quoteBoard = std::make_unique<CBoardView>(m_args.symbols, m_args.utc);
  if (connected) {
    // Every symbol is asked for before any is awaited, so they share one timeout.
    const std::uint64_t deadline = MonotonicMs() + static_cast<std::uint64_t>(m_args.timeoutMs);
    for (const auto& symbol : m_args.symbols) {
      if (!m_session->Subscribe(symbol, qsfLevelOne)) {
        m_error = "cannot subscribe " + ShownSymbol(symbol);
        connected = false;
        break;
      }
    }
    if (connected) Pump(deadline);
  }
  m_session.reset();
  if (m_stop == EStop::Signal || m_stop == EStop::Notice || !connected) return Finish(connected);
  int missing = 0;
  std::string out;
  for (std::size_t i = 0; i < m_args.symbols.size(); ++i) {
    if (m_quoteLines[i].empty()) {
      ++missing;
      PrintError("no quote for " + m_args.symbols[i] + " within " + std::to_string(m_args.timeoutMs) + " ms");
    } else if (!text) {
      out += m_quoteLines[i] + "\n";
    }
  }
  if (text) {
    for (const auto& line : m_quoteBoard->Render(TerminalWantsColour())) out += line + "\n";
  }
  WriteAll(kStdOut, out);
  return missing == 0 ? kExitOk : kExitMissingQuote;
}

}  // namespace vok::cli
