// vokquote chain: the live option chain of one underlying.
#include "chain_view.h"
#include "commands.h"
#include "live_runner.h"

namespace vok::cli {
namespace {

class CChainScreen final : public ILiveView {
 public:
  explicit CChainScreen(const std::string& underlying) : m_chain(underlying) {}
  bool OnOptions(const OPTIONSRECORD& rec) override { return m_chain.Update(rec); }
  std::vector<std::string> Render(int rows, bool colour, const AggregateSize&) override {
    return m_chain.Render(rows, colour);
  }

 private:
  CChainView m_chain;
};

}  // namespace

int RunChain(const SArguments& args) {
  CLiveRunner runner(args);
  CChainScreen view(args.symbols.front());
  return runner.RunLive(qsfOptions, view);
}

}  // namespace vok::cli
