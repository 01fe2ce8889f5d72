// vokquote decode: describes each captured wire line read from stdin; lines it cannot read are
// reported on stderr by number. A capture file (vokquote record) is read too: each of its lines is
// decoded with its receive time, and its connection events are shown as such.
#include <vokquote/api.h>

#include <istream>
#include <ostream>

#include "commands.h"
#include "json_writer.h"
#include "ole_time.h"
#include "wire_decoder.h"

namespace vok::cli {
namespace {

bool IsCaptureRecord(const std::string& line) {
  VokCaptureRecord record{};
  return VokParseCaptureLine(line.data(), line.size(), &record) != VOK_CAPTURE_OTHER;
}

}  // namespace

int RunDecode(const SArguments& args, std::istream& in, std::ostream& out, std::ostream& err) {
  // Room for a capture's time and kind before the longest line the library takes.
  constexpr std::size_t kMaxWireLine = std::size_t{1} << 20;
  CBoundedLineReader reader(in, kMaxWireLine + 64);
  std::string line, text, error;
  bool tooLong = false;
  int number = 0;
  int traceOther = 0;  // a trace holds many lines of other kinds: counted, not each reported
  while (reader.Next(line, tooLong)) {
    ++number;
    if (tooLong || (line.size() > kMaxWireLine && !IsCaptureRecord(line))) {
      err << "vokquote: line " << number << " is longer than " << kMaxWireLine << " bytes; skipped\n";
      continue;
    }
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    VokCaptureRecord record{};
    std::string_view wire = line;
    switch (VokParseCaptureLine(line.data(), line.size(), &record)) {
      case VOK_CAPTURE_HEADER:
        continue;
      case VOK_CAPTURE_RECORD:
        wire = std::string_view(record.text, record.length);
        break;
      default:
        record.kind = 0;
        break;
    }
    const std::string received = record.kind != 0 ? UnixMsToText(record.timeNs / 1000000) : std::string();
    if (record.kind == 'E') {
      if (args.json) {
        CJsonWriter json;
        json.String("kind", "captureEvent").Integer("line", number).String("received", received).String("event", wire);
        out << json.Finish() << "\n";
      } else {
        out << "line " << number << ": event " << ShownText(wire, 200) << " at " << received << "\n";
      }
      continue;
    }
    const EDecodeResult result = DecodeLine(wire, number, args.json, text, error);
    if (result == EDecodeResult::TraceOther) {
      ++traceOther;
      continue;
    }
    if (result == EDecodeResult::Unreadable) {
      err << "vokquote: line " << number << ": " << error << "\n";
      continue;
    }
    if (record.kind != 0) {
      // The receive time goes first: after the opening brace, or as a line of its own.
      if (args.json && !text.empty() && text[0] == '{') {
        text.insert(1, "\"received\":\"" + received + "\",");
      } else if (!args.json) {
        out << "received " << received << "\n";
      }
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
