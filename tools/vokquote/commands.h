// The subcommands of vokquote, each returning the process exit status. The live ones expect the
// arguments already checked; decode reads stdin and writes stdout.
#pragma once

#include <iosfwd>

#include "arguments.h"

namespace vok::cli {

int RunWatch(const SArguments& args);
int RunBook(const SArguments& args);
int RunTape(const SArguments& args);
int RunChain(const SArguments& args);
int RunQuote(const SArguments& args);
int RunRecord(const SArguments& args);
int RunStats(const SArguments& args);
int RunDecode(const SArguments& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vok::cli
