// vokquote tape: time and sales prints of one or more symbols as they arrive.
#include "commands.h"
#include "live_runner.h"
#include "tape_view.h"

namespace vok::cli {
namespace {

class CTapeScreen final : public ILiveView {
 public:
  explicit CTapeScreen(bool utc) : m_tape(200, utc) {}
  bool OnTimeAndSales(const TSRECORD& rec) override { return m_tape.Add(rec); }
  std::vector<std::string> Render(int rows, bool colour, const AggregateSize&) override {
    return m_tape.Render(rows - 1, colour);
  }

 private:
  CTapeView m_tape;
};

}  // namespace

int RunTape(const SArguments& args) {
  CLiveRunner runner(args);
  CTapeScreen view(args.utc);
  return runner.RunLive(qsfTimeAndSales, view);
}

}  // namespace vok::cli
