#include "arguments.h"

#include <gtest/gtest.h>

namespace vok::cli {
namespace {

TEST(Arguments, ParsesEachCommandWithItsSymbolsAndOptionsInEitherForm) {
  struct SCase {
    std::vector<std::string> args;
    ECommand command;
    std::vector<std::string> symbols;
    std::string host;
    int port;
    std::int64_t count;
    std::int64_t durationMs;
    int timeoutMs;
    bool json;
    bool utc;
  };
  const SCase cases[] = {
      {{"watch", "msft", " ibm ", "MSFT"}, ECommand::Watch, {"MSFT", "IBM"}, "", 0, 0, 0, 5000, false, false},
      {{"book", "XYZ", "--server", "quotes.example:5021", "--json", "--utc"},
       ECommand::Book,
       {"XYZ"},
       "quotes.example",
       5021,
       0,
       0,
       5000,
       true,
       true},
      {{"tape", "A", "B", "--count=10", "--duration", "1.5"},
       ECommand::Tape,
       {"A", "B"},
       "",
       0,
       10,
       1500,
       5000,
       false,
       false},
      {{"chain", "+XYZ-270115-P-52.5"}, ECommand::Chain, {"+XYZ-270115-P-52.5"}, "", 0, 0, 0, 5000, false, false},
      {{"quote", "MSFT", "--timeout", "0", "--server=127.0.0.1:1"},
       ECommand::Quote,
       {"MSFT"},
       "127.0.0.1",
       1,
       0,
       0,
       0,
       false,
       false},
      {{"decode", "--json"}, ECommand::Decode, {}, "", 0, 0, 0, 5000, true, false},
  };
  for (const auto& c : cases) {
    SArguments parsed;
    std::string message;
    ASSERT_EQ(ParseArguments(c.args, parsed, message), EParseResult::Ok) << c.args[0] << ": " << message;
    EXPECT_EQ(parsed.command, c.command) << c.args[0];
    EXPECT_EQ(parsed.symbols, c.symbols) << c.args[0];
    EXPECT_EQ(parsed.host + ":" + std::to_string(parsed.port), c.host + ":" + std::to_string(c.port)) << c.args[0];
    EXPECT_EQ(parsed.count, c.count) << c.args[0];
    EXPECT_EQ(parsed.durationMs, c.durationMs) << c.args[0];
    EXPECT_EQ(parsed.timeoutMs, c.timeoutMs) << c.args[0];
    EXPECT_EQ(parsed.json, c.json) << c.args[0];
    EXPECT_EQ(parsed.utc, c.utc) << c.args[0];
  }
  SArguments parsed;
  std::string message;
  ASSERT_EQ(ParseArguments({"watch", "X", "--user=bob", "--password-file", "/tmp/p", "--seed", "7", "--rate=0"}, parsed,
                           message),
            EParseResult::Ok);
  EXPECT_EQ(parsed.user, "bob");
  EXPECT_EQ(parsed.passwordFile, "/tmp/p");
  EXPECT_EQ(parsed.seed, 7u);
  EXPECT_EQ(parsed.rate, 0);
}

TEST(Arguments, RejectsBadCommandLinesWithOneLineNamingTheOptionButNoSecret) {
  const std::string longSymbol(100, 'Q');
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"watch"}, "needs at least one symbol"},
      {{"book", "A", "B"}, "takes one symbol, not 2"},
      {{"decode", "MSFT"}, "unexpected argument 'MSFT'"},
      {{"watch", "A;B"}, "'A;B' is not a symbol"},
      {{"watch", longSymbol + ";"}, "'" + std::string(32, 'Q') + "...' is not a symbol"},
      {{"watch", "A", "--server"}, "option --server needs a value"},
      {{"watch", "A", "--server", "h:70000"}, "takes HOST:PORT"},
      {{"watch", "A", "--count", "ten"}, "option --count: takes a whole number from 1 to"},
      {{"watch", "A", "--duration=-1"}, "number of seconds"},
      {{"watch", "A", "--timeout", "5"}, "unknown option --timeout; 'vokquote watch --help'"},
      {{"quote", "A", "--count", "5"}, "unknown option --count"},
      {{"watch", "A", "--server", "h:1", "--seed", "3"}, "built-in simulator"},
      {{"watch", "A", "--password", "hunter2"}, "never read from the command line"},
      {{"watch", "A", "--passwd=hunter2"}, "never read from the command line"},
      {{"watch", "A", "--secret=hunter2"}, "unknown option --secret;"},
  };
  for (const auto& [args, expected] : cases) {
    SArguments parsed;
    std::string message;
    EXPECT_EQ(ParseArguments(args, parsed, message), EParseResult::Error) << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << "'" << message << "' lacks '" << expected << "'";
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_EQ(message.find("hunter2"), std::string::npos) << message;
  }
}

TEST(Arguments, EveryCommandHasItsHelpAndTheProgramItsVersion) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--help"}, "Usage: vokquote COMMAND"}, {{"help"}, "decode"},
      {{"--version"}, "vokquote 2.1.0\n"},     {{"watch", "--help"}, "Usage: vokquote watch SYMBOL..."},
      {{"quote", "A", "-h"}, "--timeout MS"},  {{"decode", "--help"}, "Usage: vokquote decode"},
  };
  for (const auto& [args, expected] : cases) {
    SArguments parsed;
    std::string message;
    EXPECT_EQ(ParseArguments(args, parsed, message), EParseResult::Help) << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
  }
  // Each help lists what that command honours, and nothing else.
  EXPECT_EQ(HelpText(ECommand::Watch).find("--timeout"), std::string::npos);
  EXPECT_NE(HelpText(ECommand::Watch).find("VOKQUOTE_PASSWORD"), std::string::npos);
  EXPECT_EQ(HelpText(ECommand::Quote).find("--count"), std::string::npos);
  EXPECT_EQ(HelpText(ECommand::Quote).find("--duration"), std::string::npos);
  EXPECT_EQ(HelpText(ECommand::Decode).find("--server"), std::string::npos);
  EXPECT_EQ(HelpText(ECommand::Watch).find("--password "), std::string::npos);
}

}  // namespace
}  // namespace vok::cli
