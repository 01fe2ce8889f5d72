// The shared flow of the live subcommands: connection, subscription, the main loop and output.
#include "live_runner.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

#include "board_view.h"
#include "ole_time.h"
#include "password.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "quote_server.h"
#include "record_json.h"
#include "screen.h"
#include "terminal.h"

namespace vok::cli {
namespace {

constexpr std::uint64_t kNoDeadline = UINT64_MAX;
constexpr std::uint64_t kRedrawMs = 100;

std::string Endpoint(const std::string& host, int port) { return host + ":" + std::to_string(port); }

void PrintError(const std::string& text) {
  const std::string line = "vokquote: " + text + "\n";
  WriteAll(STDERR_FILENO, line);
}

}  // namespace

// The full-screen mode: the terminal taken over, and frames drawn into it.
class CLiveRunner::CScreen {
 public:
  CScreen() : m_terminal(STDIN_FILENO, STDOUT_FILENO) {}
  bool Draw(const std::vector<std::string>& lines, const std::string& status) {
    int width = 0, height = 0;
    m_terminal.Size(width, height);
    return m_terminal.Write(ComposeFrame(lines, status, width, height));
  }
  int Rows() const {
    int width = 0, height = 0;
    m_terminal.Size(width, height);
    return std::max(height - 1, 1);
  }

 private:
  CTerminalScreen m_terminal;
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
  if (!WriteAll(STDOUT_FILENO, line + "\n")) m_stop = EStop::OutputGone;
}

bool CLiveRunner::CountRecord() {
  if (m_stop != EStop::None) return false;
  ++m_records;
  if (m_args.count > 0 && m_records >= m_args.count) m_stop = EStop::Done;
  return true;
}

void CLiveRunner::NoteEvent(std::string text) {
  m_lastEvent = std::move(text) + " at " + UnixMsToText(NowUnixMs()).substr(11, 8);
  m_dirty = true;
}

void CLiveRunner::OnQuote(const QUOTERECORD& rec) {
  VOK_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnQuote(rec);
  } else {
    WriteLine(QuoteJson(rec, NowUnixMs()));
  }
}

void CLiveRunner::OnLevel2(const LEVEL2RECORD& rec) {
  VOK_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnLevel2(rec);
  } else {
    const long aggregate = m_aggregate ? m_aggregate(rec.dPrice, rec.side) : -1;
    WriteLine(Level2Json(rec, NowUnixMs(), aggregate >= 0 ? std::optional<long>(aggregate) : std::nullopt));
  }
}

void CLiveRunner::OnTimeAndSales(const TSRECORD& rec) {
  VOK_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnTimeAndSales(rec);
  } else {
    WriteLine(TsJson(rec, NowUnixMs()));
  }
}

void CLiveRunner::OnOptions(const OPTIONSRECORD& rec) {
  VOK_DCHECK_THREAD(m_thread);
  if (!CountRecord()) return;
  if (m_screen) {
    m_dirty |= m_view != nullptr && m_view->OnOptions(rec);
  } else {
    WriteLine(OptionsJson(rec, NowUnixMs()));
  }
}

void CLiveRunner::OnEvent(EConnectionEvent event, long errorCode) {
  VOK_DCHECK_THREAD(m_thread);
  switch (event) {
    case EConnectionEvent::Connect:
      m_connected = true;
      break;
    case EConnectionEvent::LogonSucceed:
      m_loggedOn = true;
      break;
    case EConnectionEvent::Close:
      if (!m_loggedOn) m_closedBeforeLogon = true;
      m_loggedOn = false;
      break;
  }
  if (m_stop != EStop::None) return;
  if (m_screen) {
    NoteEvent(std::string(EventName(event)) +
              (event == EConnectionEvent::LogonSucceed ? "" : "(" + std::to_string(errorCode) + ")"));
  } else {
    WriteLine(EventJson(EventName(event),
                        event == EConnectionEvent::LogonSucceed ? std::nullopt : std::optional<long>(errorCode),
                        NowUnixMs()));
  }
}

std::string CLiveRunner::StatusLine() const {
  std::string status = " " + Endpoint(m_host, m_port);
  if (m_simulator) status += " (built-in simulator)";
  status += m_loggedOn ? " | logged on as " + m_args.user : m_connected ? " | connected, logging on" : " | connecting";
  status += " | " + std::to_string(m_records) + " updates";
  if (!m_lastEvent.empty()) status += " | " + m_lastEvent;
  return status + " | q quits";
}

void CLiveRunner::Redraw() {
  if (!m_screen) return;
  const std::vector<std::string> lines =
      m_view != nullptr ? m_view->Render(m_screen->Rows(), true, m_aggregate) : std::vector<std::string>();
  if (!m_screen->Draw(lines, StatusLine())) m_stop = EStop::OutputGone;
  m_dirty = false;
}

void CLiveRunner::Pump(std::uint64_t deadlineMs) {
  VOK_DCHECK_THREAD(m_thread);
  std::uint64_t lastDraw = 0;
  bool keys = m_screen != nullptr && IsTerminal(STDIN_FILENO);
  while (m_stop == EStop::None) {
    const std::uint64_t now = MonotonicMs();
    if (m_dirty && m_screen && now - lastDraw >= kRedrawMs) {
      Redraw();
      lastDraw = now;
    }
    if (now >= deadlineMs || m_stop != EStop::None) return;
    std::uint64_t wait = deadlineMs == kNoDeadline ? 1000 : deadlineMs - now;
    if (m_dirty && m_screen) wait = std::min<std::uint64_t>(wait, kRedrawMs - std::min(kRedrawMs, now - lastDraw));
    pollfd fds[3] = {{MessageLoopFd(), POLLIN, 0}, {m_signals.Fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int count = ::poll(fds, keys ? 3 : 2, static_cast<int>(std::min<std::uint64_t>(wait, 1000)));
    if (count <= 0) continue;
    if (fds[0].revents != 0) PumpMessages();
    if (fds[1].revents != 0) {
      for (int signal = m_signals.Take(); signal != 0; signal = m_signals.Take()) {
        if (signal == SIGWINCH) {
          m_dirty = true;
        } else if (m_stop == EStop::None || m_stop == EStop::Done) {
          m_signal = signal;
          m_stop = EStop::Signal;
        }
      }
    }
    if (keys && fds[2].revents != 0) {
      char buffer[64];
      const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got <= 0) keys = false;
      for (ssize_t i = 0; i < got; ++i)
        if (buffer[i] == 'q' || buffer[i] == 'Q') m_stop = EStop::Done;
    }
  }
}

bool CLiveRunner::ReadSecret() { return ReadPassword(m_args.passwordFile, m_password, m_error); }

bool CLiveRunner::Connect() {
  const std::uint64_t deadline = MonotonicMs() + static_cast<std::uint64_t>(m_args.connectTimeoutMs);
  SConnectSettings settings{.host = m_host, .port = m_port, .user = m_args.user, .password = {}};
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
  while (m_stop == EStop::None && !m_loggedOn && !m_closedBeforeLogon && MonotonicMs() < deadline) {
    Pump(std::min(deadline, MonotonicMs() + 50));
  }
  if (m_loggedOn) return true;
  const std::string endpoint = Endpoint(m_host, m_port);
  if (m_stop != EStop::None) return false;
  if (m_closedBeforeLogon) {
    m_error = "the server at " + endpoint + " closed the connection during logon: user '" + m_args.user +
              "' or the password was refused";
  } else if (m_connected) {
    m_error = "the server at " + endpoint + " did not answer the logon within " +
              std::to_string(m_args.connectTimeoutMs) + " ms";
  } else {
    m_error = "cannot connect to the server at " + endpoint + " (no connection within " +
              std::to_string(m_args.connectTimeoutMs) + " ms)";
  }
  return false;
}

// Starts the built-in simulator when no server was named; false with m_error when it cannot.
static bool StartSimulator(const SArguments& args, std::unique_ptr<sim::CQuoteServer>& server, std::string& host,
                           int& port, std::string& error) {
  if (!args.host.empty()) {
    host = args.host;
    port = args.port;
    return true;
  }
  sim::SServerOptions options;
  options.seed = args.seed;
  options.rate = args.rate;
  server = std::make_unique<sim::CQuoteServer>(options);
  std::string why;
  if (!server->Start(&why)) {
    error = "cannot start the built-in simulator: " + why;
    server.reset();
    return false;
  }
  host = "127.0.0.1";
  port = server->Port();
  char note[200];
  std::snprintf(note, sizeof note,
                "vokquote: no --server given; started the built-in simulator on %s:%d (seed %llu, %d updates per "
                "second)\n",
                host.c_str(), port, static_cast<unsigned long long>(args.seed), args.rate);
  WriteAll(STDERR_FILENO, note);
  return true;
}

int CLiveRunner::RunLive(long serviceFlags, ILiveView& view) {
  VOK_DCHECK_THREAD(m_thread);
  m_view = &view;
  m_screenMode = !m_args.json && IsTerminal(STDOUT_FILENO);
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
  if (m_screenMode) m_screen = std::make_unique<CScreen>();
  bool connected = Connect();
  if (connected) {
    for (const auto& symbol : m_args.symbols) {
      if (!m_session->Subscribe(symbol, serviceFlags)) {
        m_error = "cannot subscribe " + symbol;
        connected = false;
        break;
      }
    }
  }
  if (connected) {
    m_dirty = true;
    Pump(m_args.durationMs > 0 ? start + static_cast<std::uint64_t>(m_args.durationMs) : kNoDeadline);
  }
  // Leave the screen before anything is said on the terminal.
  m_session.reset();
  m_screen.reset();
  if (m_stop == EStop::Signal) return 128 + m_signal;
  if (!connected) {
    PrintError(m_error);
    return kExitConnection;
  }
  return kExitOk;
}

int CLiveRunner::RunQuotes() {
  VOK_DCHECK_THREAD(m_thread);
  if (!ReadSecret()) {
    PrintError(m_error);
    return kExitUsage;
  }
  if (!StartSimulator(m_args, m_simulator, m_host, m_port, m_error) || !Connect()) {
    if (m_stop == EStop::Signal) return 128 + m_signal;
    PrintError(m_error);
    return kExitConnection;
  }
  const bool text = !m_args.json && IsTerminal(STDOUT_FILENO);
  CBoardView board(m_args.symbols);
  int missing = 0;
  for (const auto& symbol : m_args.symbols) {
    QUOTERECORD rec;
    if (!m_session->SingleQuote(symbol, m_args.timeoutMs, rec)) {
      ++missing;
      PrintError("no quote for " + symbol + " within " + std::to_string(m_args.timeoutMs) + " ms");
      continue;
    }
    if (text) {
      board.Update(rec);
    } else {
      WriteLine(QuoteJson(rec, NowUnixMs()));
    }
    CSession::FreeQuote(rec);
  }
  if (text) {
    std::string out;
    for (const auto& line : board.Render(true)) out += line + "\n";
    WriteAll(STDOUT_FILENO, out);
  }
  return missing == 0 ? kExitOk : kExitMissingQuote;
}

}  // namespace vok::cli
