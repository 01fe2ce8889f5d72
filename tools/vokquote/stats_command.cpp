// vokquote stats: a live table of the feed's statistics while the symbols stream at level 1.
#include <vokquote/api.h>

#include <chrono>

#include "commands.h"
#include "live_runner.h"
#include "stats_view.h"

namespace vok::cli {
namespace {

class CStatsView final : public ILiveView {
 public:
  std::uint64_t RefreshMs() const override { return 1000; }
  // Records only redraw the status line's count; the figures change once a second.
  bool OnQuote(const QUOTERECORD&) override { return false; }
  std::vector<std::string> Render(int, bool, const AggregateSize&) override {
    if (m_lastSample == 0 || NowMs() - m_lastSample >= 1000) {
      m_sampler.Sample();
      m_lastSample = NowMs();
    }
    return m_sampler.Table();
  }

 private:
  static std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  CFeedStatsSampler m_sampler;
  std::int64_t m_lastSample = 0;
};

}  // namespace

int RunStats(const SArguments& args) {
  CLiveRunner runner(args);
  CStatsView view;
  return runner.RunLive(qsfLevelOne, view);
}

}  // namespace vok::cli
