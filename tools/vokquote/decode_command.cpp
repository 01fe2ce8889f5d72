// vokquote decode: describes each captured wire line read from stdin.
#include <istream>
#include <ostream>

#include "commands.h"
#include "wire_decoder.h"

namespace vok::cli {

int RunDecode(const SArguments& args, std::istream& in, std::ostream& out, std::ostream& err) {
  CBoundedLineReader reader(in);
  std::string line;
  bool tooLong = false;
  int number = 0;
  while (reader.Next(line, tooLong)) {
    ++number;
    if (tooLong) {
      err << "vokquote: line " << number << " is longer than " << reader.MaxLength() << " bytes; skipped\n";
      continue;
    }
    if (line.empty()) continue;
    out << DecodeLine(line, number, args.json);
    if (!out) return 0;  // the reader went away (a closed pipe)
  }
  out.flush();
  return 0;
}

}  // namespace vok::cli
