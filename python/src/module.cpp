// vokquote._native: the extension under the vokquote package. It exposes the session (the
// service object on the binding's loop thread), its streams, the in-process simulator and the
// hand-over of the package's record classes. Every wait releases the interpreter lock and is cut
// into slices so Ctrl-C interrupts it; the package (vokquote/__init__.py) holds the Python API.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <vokquote/api.h>

#include <chrono>
#include <optional>

#include "binding_session.h"
#include "record_objects.h"
#include "simulator.h"

namespace pyb = pybind11;
using namespace pybind11::literals;

namespace vok::py {
namespace {

constexpr int kSliceMs = 100;  // how long a wait goes without looking for signals

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Runs f without the interpreter lock. Not RAII: when the interpreter is finalising, taking the
// lock back ends a daemon thread by unwinding it, which must not start inside a destructor.
template <class F>
auto WithoutGil(F&& f) -> decltype(f()) {
  PyThreadState* saved = PyEval_SaveThread();
  try {
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      PyEval_RestoreThread(saved);
    } else {
      auto result = f();
      PyEval_RestoreThread(saved);
      return result;
    }
  } catch (...) {
    PyEval_RestoreThread(saved);
    throw;
  }
}

void CheckSignals() {
  if (PyErr_CheckSignals() != 0) throw pyb::error_already_set();
}

std::optional<std::int64_t> DeadlineOf(std::optional<double> seconds) {
  if (!seconds) return std::nullopt;
  return NowMs() + static_cast<std::int64_t>(*seconds * 1000.0);
}

// A stream as Python iterates it: the queue, the subscription that fills it (none for the
// events stream), and the limits of the iteration.
class CStreamObject {
 public:
  CStreamObject(std::shared_ptr<CBindingSession> session, std::shared_ptr<CRecordQueue> queue,
                std::shared_ptr<SStream> stream, std::optional<long> count, std::optional<double> timeout)
      : m_session(std::move(session)),
        m_queue(std::move(queue)),
        m_stream(std::move(stream)),
        m_count(count),
        m_deadline(DeadlineOf(timeout)) {}
  CStreamObject(const CStreamObject&) = delete;
  CStreamObject& operator=(const CStreamObject&) = delete;
  ~CStreamObject() { End(false); }

  // The next record; waits (interruptibly) until one comes or the stream ends.
  pyb::object Next() {
    SBindingRecord record;
    for (;;) {
      if (Finished()) throw pyb::stop_iteration();
      bool closed = false;
      if (m_queue->Pop(record, 0, closed)) return Taken(record);
      if (closed) break;
      int waitMs = kSliceMs;
      if (m_deadline) waitMs = static_cast<int>(std::clamp<std::int64_t>(*m_deadline - NowMs(), 0, kSliceMs));
      if (waitMs > 0 && WithoutGil([&] { return m_queue->Pop(record, waitMs, closed); })) return Taken(record);
      if (closed) break;
      CheckSignals();
    }
    End(false);
    throw pyb::stop_iteration();
  }

  // The next record if one waits, else None; StopIteration once the stream has ended.
  pyb::object TryNext() {
    if (Finished()) throw pyb::stop_iteration();
    SBindingRecord record;
    bool closed = false;
    if (m_queue->Pop(record, 0, closed)) return Taken(record);
    if (closed) {
      End(false);
      throw pyb::stop_iteration();
    }
    return pyb::none();
  }

  std::optional<double> Remaining() const {
    if (!m_deadline) return std::nullopt;
    return static_cast<double>(std::max<std::int64_t>(*m_deadline - NowMs(), 0)) / 1000.0;
  }

  void End(bool wait) {
    if (m_ended) return;
    m_ended = true;
    if (m_stream) {
      if (wait) {
        WithoutGil([&] { m_session->Unsubscribe(m_stream, true); });
      } else {
        m_session->Unsubscribe(m_stream, false);
      }
    } else {
      m_queue->Close();
    }
  }

  int Fd() const { return m_queue->ReadyFd(); }

  pyb::dict Stats() const {
    const SQueueStats s = m_queue->Stats();
    return pyb::dict("delivered"_a = s.delivered, "taken"_a = m_taken, "replaced"_a = s.replaced,
                     "dropped"_a = s.dropped, "depth"_a = s.depth, "high_water"_a = s.highWater);
  }

 private:
  bool Finished() {
    const bool done = (m_count && m_taken >= *m_count) || (m_deadline && NowMs() >= *m_deadline);
    if (done) End(false);
    return done;
  }
  pyb::object Taken(const SBindingRecord& record) {
    ++m_taken;
    return ToPython(record);
  }

  std::shared_ptr<CBindingSession> m_session;
  std::shared_ptr<CRecordQueue> m_queue;
  std::shared_ptr<SStream> m_stream;
  std::optional<long> m_count;
  std::optional<std::int64_t> m_deadline;
  long m_taken = 0;
  bool m_ended = false;
};

// The session as Python holds it.
class CSessionObject {
 public:
  CSessionObject() : m_session(std::make_shared<CBindingSession>()) {}

  // Starts the connection; its outcome arrives as events (WaitForLogon).
  void Open(const std::u16string& address, const std::u16string& user, std::u16string password, std::size_t queueSize) {
    SSessionSettings settings{address, user, std::move(password), queueSize};
    std::string error;
    const bool opened = WithoutGil([&] { return m_session->Open(std::move(settings), error); });
    if (!opened) {
      WithoutGil([&] { m_session->Close(); });
      throw std::runtime_error(error);
    }
  }

  // ("logged_on" | "connect_failed" | "refused" | "closed" | "timeout", system error number).
  pyb::tuple WaitForLogon(double timeout) {
    const std::int64_t deadline = NowMs() + static_cast<std::int64_t>(timeout * 1000.0);
    for (;;) {
      std::int32_t code = 0;
      const int waitMs = static_cast<int>(std::clamp<std::int64_t>(deadline - NowMs(), 0, kSliceMs));
      const ELogon outcome = WithoutGil([&] { return m_session->WaitForLogon(waitMs, code); });
      switch (outcome) {
        case ELogon::LoggedOn:
          return pyb::make_tuple("logged_on", 0);
        case ELogon::ConnectFailed:
          return pyb::make_tuple("connect_failed", code);
        case ELogon::Refused:
          return pyb::make_tuple("refused", 0);
        case ELogon::Closed:
          return pyb::make_tuple("closed", 0);
        case ELogon::Waiting:
          break;
      }
      if (NowMs() >= deadline) return pyb::make_tuple("timeout", 0);
      CheckSignals();
    }
  }

  std::unique_ptr<CStreamObject> Subscribe(const std::vector<std::u16string>& symbols, long flags,
                                           std::optional<long> count, std::optional<double> timeout) {
    std::u16string bad;
    bool refused = false;
    auto stream = WithoutGil([&] { return m_session->Subscribe(symbols, flags, refused, bad); });
    CheckSymbol(bad, refused);
    if (!stream) throw std::runtime_error("the session is closed");
    return std::make_unique<CStreamObject>(m_session, stream->queue, stream, count, timeout);
  }

  std::unique_ptr<CStreamObject> Events(std::optional<double> timeout) {
    return std::make_unique<CStreamObject>(m_session, m_session->Events(), nullptr, std::nullopt, timeout);
  }

  pyb::object Cached(const std::u16string& symbol, bool option) {
    SBindingRecord record;
    bool invalid = false;
    const bool found = WithoutGil([&] {
      return option ? m_session->CachedOption(symbol, record, invalid)
                    : m_session->CachedQuote(symbol, record, invalid);
    });
    CheckSymbol(symbol, invalid);
    return found ? ToPython(record) : pyb::none();
  }

  pyb::object SingleQuote(const std::u16string& symbol, double timeout) {
    SBindingRecord record;
    bool invalid = false;
    const int timeoutMs = static_cast<int>(std::clamp(timeout * 1000.0, 0.0, 2147483647.0));
    const bool found = WithoutGil([&] { return m_session->SingleQuote(symbol, timeoutMs, record, invalid); });
    CheckSymbol(symbol, invalid);
    return found ? ToPython(record) : pyb::none();
  }

  long AggregateSize(const std::u16string& symbol, double price, int side) {
    bool invalid = false;
    const long size =
        WithoutGil([&] { return m_session->AggregateSize(symbol, price, static_cast<enumMarketSide>(side), invalid); });
    CheckSymbol(symbol, invalid);
    return size;
  }

  int State() {
    return WithoutGil([&] { return static_cast<int>(m_session->State()); });
  }
  std::u16string ServerName() {
    return WithoutGil([&] { return m_session->ServerName(); });
  }
  void Close() {
    WithoutGil([&] { m_session->Close(); });
  }

 private:
  static void CheckSymbol(const std::u16string& symbol, bool invalid) {
    if (invalid) throw pyb::value_error("not a valid symbol: " + pyb::repr(pyb::cast(symbol)).cast<std::string>());
  }

  std::shared_ptr<CBindingSession> m_session;
};

class CSimulatorObject {
 public:
  CSimulatorObject(std::uint64_t seed, int rate, bool flood, std::map<std::string, std::string> users) {
    SSimulatorSettings settings{seed, rate, flood, std::move(users)};
    std::string error;
    if (!WithoutGil([&] { return m_simulator.Start(settings, error); }))
      throw std::runtime_error("cannot start the built-in simulator: " + error);
  }
  int Port() const { return m_simulator.Port(); }
  void Stop() {
    WithoutGil([&] { m_simulator.Stop(); });
  }

 private:
  CSimulator m_simulator;
};

}  // namespace
}  // namespace vok::py

PYBIND11_MODULE(_native, m) {
  using namespace vok::py;
  m.doc() = "The native part of vokquote; use the vokquote package.";
  m.attr("library_version") = VokQuoteVersion();
  m.def("_configure", &Configure, "Hands the package's record classes and enumerations to the extension.");
  m.def(
      "_simulated_profile",
      [](std::uint64_t seed, const std::string& symbol) {
        const SSimulatedProfile p = CSimulator::Profile(seed, symbol);
        return pyb::make_tuple(p.startPrice, p.market, p.company);
      },
      "seed"_a, "symbol"_a, "What the built-in simulator starts a symbol with: (last price, market, company).");

  pyb::class_<CStreamObject>(m, "Stream", "Records of one subscription, in arrival order.")
      .def("__iter__", [](pyb::object self) { return self; })
      .def("__next__", &CStreamObject::Next)
      .def("try_next", &CStreamObject::TryNext, "The next record if one waits, else None.")
      .def("fileno", &CStreamObject::Fd, "A descriptor readable while a record waits or the stream has ended.")
      .def_property_readonly("remaining", &CStreamObject::Remaining, "Seconds left before the timeout, or None.")
      .def_property_readonly("stats", &CStreamObject::Stats, "Counts of the stream's queue.")
      .def(
          "close", [](CStreamObject& self) { self.End(true); }, "Ends the subscription.")
      .def("__enter__", [](pyb::object self) { return self; })
      .def("__exit__", [](CStreamObject& self, pyb::args) { self.End(true); });

  pyb::class_<CSessionObject>(m, "Session")
      .def(pyb::init<>())
      .def("open", &CSessionObject::Open, "address"_a, "user"_a, "password"_a, "queue_size"_a)
      .def("wait_for_logon", &CSessionObject::WaitForLogon, "timeout"_a)
      .def("subscribe", &CSessionObject::Subscribe, "symbols"_a, "flags"_a, "count"_a, "timeout"_a)
      .def("events", &CSessionObject::Events, "timeout"_a)
      .def(
          "cached_quote", [](CSessionObject& self, const std::u16string& symbol) { return self.Cached(symbol, false); },
          "symbol"_a)
      .def(
          "cached_option", [](CSessionObject& self, const std::u16string& symbol) { return self.Cached(symbol, true); },
          "symbol"_a)
      .def("single_quote", &CSessionObject::SingleQuote, "symbol"_a, "timeout"_a)
      .def("aggregate_size", &CSessionObject::AggregateSize, "symbol"_a, "price"_a, "side"_a)
      .def_property_readonly("state", &CSessionObject::State)
      .def_property_readonly("server_name", &CSessionObject::ServerName)
      .def("close", &CSessionObject::Close);

  pyb::class_<CSimulatorObject>(m, "Simulator")
      .def(pyb::init<std::uint64_t, int, bool, std::map<std::string, std::string>>(), "seed"_a, "rate"_a, "flood"_a,
           "users"_a)
      .def_property_readonly("port", &CSimulatorObject::Port)
      .def("stop", &CSimulatorObject::Stop);
}
