// vokquote watch: the live level 1 board.
#include "board_view.h"
#include "commands.h"
#include "live_runner.h"

namespace vok::cli {
namespace {

class CWatchView final : public ILiveView {
 public:
  explicit CWatchView(const std::vector<std::string>& symbols) : m_board(symbols) {}
  bool OnQuote(const QUOTERECORD& rec) override { return m_board.Update(rec); }
  std::vector<std::string> Render(int rows, bool colour, const AggregateSize&) override {
    auto lines = m_board.Render(colour);
    if (lines.size() > static_cast<std::size_t>(rows)) lines.resize(static_cast<std::size_t>(rows));
    return lines;
  }

 private:
  CBoardView m_board;
};

}  // namespace

int RunWatch(const SArguments& args) {
  CLiveRunner runner(args);
  CWatchView view(args.symbols);
  return runner.RunLive(qsfLevelOne, view);
}

}  // namespace vok::cli
