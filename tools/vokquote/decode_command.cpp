// vokquote decode: describes each captured wire line read from stdin; lines it cannot read are
// reported on stderr by number.
#include <istream>
#include <ostream>

#include "commands.h"
#include "wire_decoder.h"

namespace vok::cli {

int RunDecode(const SArguments& args, std::istream& in, std::ostream& out, std::ostream& err) {
  CBoundedLineReader reader(in);
  std::string line, text, error;
  bool tooLong = false;
  int number = 0;
  int traceOther = 0;  // a trace holds many lines of other kinds: counted, not each reported
  while (reader.Next(line, tooLong)) {
    ++number;
    if (tooLong) {
      err << "vokquote: line " << number << " is longer than " << reader.MaxLength() << " bytes; skipped\n";
      continue;
    }
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const EDecodeResult result = DecodeLine(line, number, args.json, text, error);
    if (result == EDecodeResult::TraceOther) {
      ++traceOther;
      continue;
    }
    if (result == EDecodeResult::Unreadable) {
      err << "vokquote: line " << number << ": " << error << "\n";
      continue;
    }
    out << text;
    if (!out) return 0;  // the reader went away (a closed pipe)
  }
  out.flush();
  if (traceOther > 0) {
    err << "vokquote: " << traceOther << (traceOther == 1 ? " trace line" : " trace lines")
        << " without a data message skipped (only L1:, L2:, TS: and OPT: lines carry one)\n";
  }
  return 0;
}

}  // namespace vok::cli
