// The simulator's server thread: one epoll loop over the listening socket, a wake-up eventfd for
// calls from other threads, and every session. Observation records live under one lock so tests
// can read and wait on them from their own threads.
#include "quote_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "server_system.h"
#include "session.h"
#include "tls_server.h"

namespace vok::sim {

namespace {

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

class CQuoteServer::CImpl final : public ISessionHost {
 public:
  explicit CImpl(SServerOptions options) : m_options(std::move(options)) {}
  ~CImpl() { Stop(); }

  bool Start(std::string* error);
  void Stop();
  int Port() const { return m_port; }
  void Run(int session, const CScript& steps);

  void OnClientLine(int number, const std::string& line, bool recorded) override;
  void OnLogon(int number, const std::string& user, bool accepted) override;
  void Log(const std::string& text) override {
    if (m_options.log) m_options.log(text);
  }

  template <typename Predicate>
  bool WaitFor(int timeoutMs, Predicate predicate) const {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return predicate(); });
  }

  // Observation, guarded by m_lock.
  mutable std::mutex m_lock;
  mutable std::condition_variable m_changed;
  std::map<int, SSessionInfo> m_infos;
  int m_connections = 0;
  int m_logons = 0;
  int m_refused = 0;

 private:
  struct SEntry {
    std::unique_ptr<CSession> session;
    bool writable = false;  // watched for writability
  };

  void Loop();
  void AcceptAll(std::int64_t nowUs);
  void RunCommands(std::int64_t nowUs);
  void Settle(SEntry& entry);
  void Remove(int fd, const std::string& reason);

  const SServerOptions m_options;
  SFeedSettings m_feedSettings;
  CUniqueFd m_listen;
  CPoller m_poller;
  CUniqueFd m_wake;
  int m_port = 0;
  CTlsServerContext m_tls;  // loaded at Start when the options name a certificate
  bool m_tlsOn = false;
  std::thread m_thread;
  std::atomic<bool> m_stopping{false};
  int m_nextNumber = 1;
  std::map<int, SEntry> m_sessions;  // by socket; server thread only

  std::mutex m_commandLock;
  std::vector<std::pair<int, std::vector<SScriptStep>>> m_commands;  // guarded by m_commandLock
};

bool CQuoteServer::CImpl::Start(std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what + ": " + std::strerror(errno);
    m_listen.Reset();
    m_poller.Close();
    m_wake.Reset();
    return false;
  };
  if (m_thread.joinable()) return true;
  m_tlsOn = !m_options.tlsCertificateFile.empty();
  if (m_tlsOn) {
    std::string tlsError;
    if (!m_tls.Load(m_options.tlsCertificateFile, m_options.tlsKeyFile, tlsError)) {
      if (error != nullptr) *error = tlsError;
      return false;
    }
  }
  std::string listenError;
  m_listen = ListenTcp(m_options.host, m_options.port, m_port, listenError);
  if (!m_listen.Valid()) {
    if (error != nullptr) *error = listenError;
    return false;
  }
  m_wake = MakeWakeFd();
  if (!m_poller.Open() || !m_wake.Valid()) return fail("epoll");
  for (int fd : {m_listen.Get(), m_wake.Get()}) {
    if (!m_poller.Watch(fd, false)) return fail("epoll_ctl");
  }

  m_feedSettings.seed = m_options.seed;
  m_feedSettings.startMs = m_options.startTimeMs >= 0 ? m_options.startTimeMs : WallClockMs() / 1000 * 1000;
  m_feedSettings.stepMs = m_options.rate > 0 ? std::max(1, 1000 / m_options.rate) : 1000;
  m_feedSettings.times = m_options.times;
  m_stopping = false;
  m_thread = std::thread([this] {
    // OpenSSL writes TLS sessions with write(), so a client gone away would raise SIGPIPE in
    // the process that hosts the server; blocked here, it is an EPIPE of that session only.
    BlockBrokenPipe();
    Loop();
  });
  Log("listening on " + m_options.host + ":" + std::to_string(m_port) + (m_tlsOn ? " (TLS)" : ""));
  return true;
}

void CQuoteServer::CImpl::Stop() {
  if (!m_thread.joinable()) return;
  m_stopping = true;
  SignalWakeFd(m_wake.Get());
  m_thread.join();
  m_listen.Reset();
  m_poller.Close();
  m_wake.Reset();
}

void CQuoteServer::CImpl::Run(int session, const CScript& steps) {
  {
    std::lock_guard lock(m_commandLock);
    m_commands.emplace_back(session, steps.StepsFor(0));
  }
  SignalWakeFd(m_wake.Get());
}

void CQuoteServer::CImpl::OnClientLine(int number, const std::string& line, bool recorded) {
  std::lock_guard lock(m_lock);
  SSessionInfo& info = m_infos[number];
  ++info.linesReceived;
  if (recorded) info.lines.push_back(line);
  m_changed.notify_all();
}

void CQuoteServer::CImpl::OnLogon(int number, const std::string& user, bool accepted) {
  Log("session " + std::to_string(number) + ": logon of '" + user + "' " + (accepted ? "accepted" : "refused"));
  std::lock_guard lock(m_lock);
  SSessionInfo& info = m_infos[number];
  info.user = user;
  if (accepted) {
    info.loggedOn = true;
    ++m_logons;
  } else {
    ++m_refused;
  }
  m_changed.notify_all();
}

void CQuoteServer::CImpl::AcceptAll(std::int64_t nowUs) {
  for (;;) {
    CUniqueFd socket = AcceptTcp(m_listen.Get(), m_options.socketSendBuffer);
    if (!socket.Valid()) return;  // none waiting, or out of descriptors: the next readiness tries again
    if (static_cast<int>(m_sessions.size()) >= m_options.maxSessions) {
      Log("connection refused: " + std::to_string(m_options.maxSessions) + " sessions open");
      continue;
    }
    const int fd = socket.Get();
    const int number = m_nextNumber++;
    {
      std::lock_guard lock(m_lock);
      SSessionInfo& info = m_infos[number];
      info.number = number;
      info.open = true;
      ++m_connections;
      m_changed.notify_all();
    }
    Log("session " + std::to_string(number) + ": connected");
    if (!m_poller.Watch(fd, false)) {
      std::lock_guard lock(m_lock);
      m_infos[number].open = false;
      m_infos[number].closeReason = "epoll_ctl failed";
      continue;
    }
    SEntry& entry = m_sessions[fd];
    entry.session = std::make_unique<CSession>(number, std::move(socket), m_options, m_feedSettings, *this);
    if (m_tlsOn) {
      std::unique_ptr<CTlsServerStream> tls = m_tls.Accept(fd);
      if (!tls) {
        Log("session " + std::to_string(number) + ": no TLS session");
        m_sessions.erase(fd);
        std::lock_guard lock(m_lock);
        m_infos[number].open = false;
        m_infos[number].closeReason = "no TLS session";
        continue;
      }
      entry.session->UseTls(std::move(tls));
    }
    entry.session->Start(nowUs);
  }
}

void CQuoteServer::CImpl::RunCommands(std::int64_t nowUs) {
  ClearWakeFd(m_wake.Get());
  std::vector<std::pair<int, std::vector<SScriptStep>>> commands;
  {
    std::lock_guard lock(m_commandLock);
    commands.swap(m_commands);
  }
  for (const auto& [number, steps] : commands) {
    bool found = false;
    for (auto& [fd, entry] : m_sessions) {
      if (number == 0 || entry.session->Number() == number) {
        entry.session->AddSteps(steps, nowUs);
        found = true;
      }
    }
    if (!found) Log("script steps for session " + std::to_string(number) + " dropped: not open");
  }
}

void CQuoteServer::CImpl::Settle(SEntry& entry) {
  const bool wanted = entry.session->WantsWrite();
  if (wanted == entry.writable) return;
  if (m_poller.Change(entry.session->Fd(), wanted)) entry.writable = wanted;
}

void CQuoteServer::CImpl::Remove(int fd, const std::string& reason) {
  auto it = m_sessions.find(fd);
  if (it == m_sessions.end()) return;
  CSession& session = *it->second.session;
  session.FlushBeforeClose();
  m_poller.Forget(fd);
  Log("session " + std::to_string(session.Number()) + ": closed, " + reason);
  {
    std::lock_guard lock(m_lock);
    SSessionInfo& info = m_infos[session.Number()];
    info.open = false;
    info.closeReason = reason;
    m_changed.notify_all();
  }
  m_sessions.erase(it);
}

void CQuoteServer::CImpl::Loop() {
  CPoller::SReady events[CPoller::kMaxReady];
  while (!m_stopping) {
    std::int64_t nowUs = NowUs();
    std::int64_t due = INT64_MAX;
    for (auto& [fd, entry] : m_sessions) due = std::min(due, entry.session->NextDueUs());
    int timeoutMs = 1000;
    if (due != INT64_MAX) {
      timeoutMs = static_cast<int>(std::clamp<std::int64_t>((due - nowUs + 999) / 1000, 0, 1000));
    }
    const int count = m_poller.Wait(events, timeoutMs);
    if (count < 0) {
      Log(std::string("epoll_wait failed: ") + std::strerror(errno));
      break;
    }
    nowUs = NowUs();
    for (int i = 0; i < count; ++i) {
      const int fd = events[i].fd;
      if (fd == m_listen.Get()) {
        AcceptAll(nowUs);
      } else if (fd == m_wake.Get()) {
        RunCommands(nowUs);
      } else {
        auto it = m_sessions.find(fd);
        if (it == m_sessions.end()) continue;
        CSession& session = *it->second.session;
        if (events[i].readable) session.OnReadable(nowUs);
        if (events[i].writable && !session.Closed()) session.OnWritable(nowUs);
      }
    }
    std::vector<std::pair<int, std::string>> closed;
    for (auto& [fd, entry] : m_sessions) {
      if (!entry.session->Closed() && entry.session->NextDueUs() <= nowUs) {
        entry.session->OnTimer(nowUs);
      }
      if (entry.session->Closed()) {
        closed.emplace_back(fd, entry.session->CloseReason());
      } else {
        Settle(entry);
      }
    }
    for (const auto& [fd, reason] : closed) Remove(fd, reason);
  }
  std::vector<int> fds;
  for (auto& [fd, entry] : m_sessions) fds.push_back(fd);
  for (int fd : fds) Remove(fd, "server stopped");
}

CQuoteServer::CQuoteServer(SServerOptions options) : m_impl(std::make_unique<CImpl>(std::move(options))) {}

CQuoteServer::~CQuoteServer() = default;

bool CQuoteServer::Start(std::string* error) { return m_impl->Start(error); }
void CQuoteServer::Stop() { m_impl->Stop(); }
int CQuoteServer::Port() const { return m_impl->Port(); }
void CQuoteServer::Run(int session, const CScript& steps) { m_impl->Run(session, steps); }

int CQuoteServer::ConnectionCount() const {
  std::lock_guard lock(m_impl->m_lock);
  return m_impl->m_connections;
}

int CQuoteServer::LogonCount() const {
  std::lock_guard lock(m_impl->m_lock);
  return m_impl->m_logons;
}

int CQuoteServer::RefusedLogonCount() const {
  std::lock_guard lock(m_impl->m_lock);
  return m_impl->m_refused;
}

int CQuoteServer::OpenSessionCount() const {
  std::lock_guard lock(m_impl->m_lock);
  int open = 0;
  for (const auto& [number, info] : m_impl->m_infos) open += info.open ? 1 : 0;
  return open;
}

SSessionInfo CQuoteServer::Session(int session) const {
  std::lock_guard lock(m_impl->m_lock);
  auto it = m_impl->m_infos.find(session);
  return it != m_impl->m_infos.end() ? it->second : SSessionInfo{};
}

std::vector<std::string> CQuoteServer::ReceivedLines(int session) const { return Session(session).lines; }

bool CQuoteServer::WaitForConnections(int count, int timeoutMs) const {
  return m_impl->WaitFor(timeoutMs, [&] { return m_impl->m_connections >= count; });
}

bool CQuoteServer::WaitForLogons(int count, int timeoutMs) const {
  return m_impl->WaitFor(timeoutMs, [&] { return m_impl->m_logons >= count; });
}

bool CQuoteServer::WaitForLine(int session, const std::string& prefix, int timeoutMs) const {
  return m_impl->WaitFor(timeoutMs, [&] {
    auto it = m_impl->m_infos.find(session);
    if (it == m_impl->m_infos.end()) return false;
    for (const std::string& line : it->second.lines) {
      if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
  });
}

bool CQuoteServer::WaitForClosed(int session, int timeoutMs) const {
  return m_impl->WaitFor(timeoutMs, [&] {
    auto it = m_impl->m_infos.find(session);
    return it != m_impl->m_infos.end() && !it->second.open;
  });
}

}  // namespace vok::sim
