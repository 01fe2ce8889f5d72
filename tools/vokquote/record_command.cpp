// vokquote record: the live run of the other commands with the library's capture turned on. The
// library itself records what the server sends; the view only counts what arrives.
#include <vokquote/api.h>

#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "live_runner.h"

namespace vok::cli {
namespace {

class CRecordView final : public ILiveView {
 public:
  explicit CRecordView(std::string path) : m_path(std::move(path)) {}
  bool OnQuote(const QUOTERECORD&) override { return Count(m_quotes); }
  bool OnLevel2(const LEVEL2RECORD&) override { return Count(m_level2); }
  bool OnTimeAndSales(const TSRECORD&) override { return Count(m_prints); }
  bool OnOptions(const OPTIONSRECORD&) override { return Count(m_options); }
  std::vector<std::string> Render(int, bool, const AggregateSize&) override {
    return {"Recording into " + ShownText(m_path, 200),
            "level 1 " + std::to_string(m_quotes) + "   level 2 " + std::to_string(m_level2) + "   prints " +
                std::to_string(m_prints) + "   options " + std::to_string(m_options)};
  }

 private:
  static bool Count(long long& counter) {
    ++counter;
    return true;
  }
  std::string m_path;
  long long m_quotes = 0, m_level2 = 0, m_prints = 0, m_options = 0;
};

}  // namespace

int RunRecord(const SArguments& args) {
  if (FAILED(VokSetCaptureFile(args.outFile.c_str()))) {
    std::fprintf(stderr, "vokquote: cannot record into %s: it cannot be written or is not a capture file\n",
                 ShownText(args.outFile, 200).c_str());
    return kExitUsage;
  }
  int status = kExitOk;
  {
    CLiveRunner runner(args);
    CRecordView view(args.outFile);
    status = runner.RunLive(args.serviceFlags != 0 ? args.serviceFlags : long{qsfLevelOne}, view);
  }
  // After the session has gone, so its last events are in the file.
  VokSetCaptureFile(nullptr);
  return status;
}

}  // namespace vok::cli
