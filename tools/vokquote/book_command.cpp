// vokquote book: the live level 2 book of one symbol.
#include "book_view.h"
#include "commands.h"
#include "live_runner.h"

namespace vok::cli {
namespace {

class CBookScreen final : public ILiveView {
 public:
  explicit CBookScreen(const std::string& symbol) : m_book(symbol) {}
  bool OnLevel2(const LEVEL2RECORD& rec) override { return m_book.Update(rec); }
  bool OnStaleness(const std::string& symbol, bool stale) override { return m_book.SetStale(symbol, stale); }
  std::vector<std::string> Render(int rows, bool colour, const AggregateSize& aggregate) override {
    return m_book.Render(aggregate, 1000, colour);
  }

 private:
  CBookView m_book;
};

}  // namespace

int RunBook(const SArguments& args) {
  CLiveRunner runner(args);
  CBookScreen view(args.symbols.front());
  return runner.RunLive(qsfLevelTwo, view);
}

}  // namespace vok::cli
