// vokquote watch: the live level 1 board.
#include "board_view.h"
#include "commands.h"
#include "live_runner.h"

namespace vok::cli {
namespace {

class CWatchView final : public ILiveView {
 public:
  CWatchView(const std::vector<std::string>& symbols, bool utc) : m_board(symbols, utc) {}
  bool OnQuote(const QUOTERECORD& rec) override { return m_board.Update(rec); }
  bool OnStaleness(const std::string& symbol, bool stale) override { return m_board.SetStale(symbol, stale); }
  // Rows that do not fit are counted on the screen's last line.
  std::vector<std::string> Render(int, bool colour, const AggregateSize&) override { return m_board.Render(colour); }

 private:
  CBoardView m_board;
};

}  // namespace

int RunWatch(const SArguments& args) {
  CLiveRunner runner(args);
  CWatchView view(args.symbols, args.utc);
  return runner.RunLive(qsfLevelOne, view);
}

}  // namespace vok::cli
