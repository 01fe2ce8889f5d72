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
  while (reader.Next(line, tooLong)) {
    ++number;
    if (tooLong) {
      err << "vokquote: line " << number << " is longer than " << reader.MaxLength() << " bytes; skipped\n";
      continue;
    }
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!DecodeLine(line, number, args.json, text, error)) {
      err << "vokquote: line " << number << ": " << error << "\n";
      continue;
    }
    out << text;
    if (!out) return 0;  // the reader went away (a closed pipe)
  }
  out.flush();
  return 0;
}

}  // namespace vok::cli
