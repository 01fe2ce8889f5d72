#include "arguments.h"

#include <gtest/gtest.h>

namespace vok::cli {
namespace {

TEST(Arguments, ParsesEachCommandWithItsSymbolsAndOptions) {
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
  };
  const SCase cases[] = {
      {{"watch", "msft", " ibm ", "MSFT"}, ECommand::Watch, {"MSFT", "IBM"}, "", 0, 0, 0, 5000, false},
      {{"book", "XYZ", "--server", "quotes.example:5021", "--json"},
       ECommand::Book,
       {"XYZ"},
       "quotes.example",
       5021,
       0,
       0,
       5000,
       true},
      {{"tape", "A", "B", "--count=10", "--duration", "1.5"}, ECommand::Tape, {"A", "B"}, "", 0, 10, 1500, 5000, false},
      {{"chain", "+XYZ-270115-P-52.5"}, ECommand::Chain, {"+XYZ-270115-P-52.5"}, "", 0, 0, 0, 5000, false},
      {{"quote", "MSFT", "--timeout", "0", "--server=127.0.0.1:1"},
       ECommand::Quote,
       {"MSFT"},
       "127.0.0.1",
       1,
       0,
       0,
       0,
       false},
      {{"decode", "--json"}, ECommand::Decode, {}, "", 0, 0, 0, 5000, true},
  };
  for (const auto& c : cases) {
    SArguments parsed;
    std::string message;
    ASSERT_EQ(ParseArguments(c.args, parsed, message), EParseResult::Ok) << c.args[0] << ": " << message;
    EXPECT_EQ(parsed.command, c.command) << c.args[0];
    EXPECT_EQ(parsed.symbols, c.symbols) << c.args[0];
    EXPECT_EQ(parsed.host, c.host) << c.args[0];
    EXPECT_EQ(parsed.port, c.port) << c.args[0];
    EXPECT_EQ(parsed.count, c.count) << c.args[0];
    EXPECT_EQ(parsed.durationMs, c.durationMs) << c.args[0];
    EXPECT_EQ(parsed.timeoutMs, c.timeoutMs) << c.args[0];
    EXPECT_EQ(parsed.json, c.json) << c.args[0];
  }
  SArguments parsed;
  std::string message;
  ASSERT_EQ(ParseArguments({"watch", "X", "--user", "bob", "--password-file", "/tmp/p", "--seed", "7", "--rate", "0"},
                           parsed, message),
            EParseResult::Ok);
  EXPECT_EQ(parsed.user, "bob");
  EXPECT_EQ(parsed.passwordFile, "/tmp/p");
  EXPECT_EQ(parsed.seed, 7u);
  EXPECT_EQ(parsed.rate, 0);
}

TEST(Arguments, RejectsBadCommandLinesWithOneLineWithoutValuesOfSecrets) {
  struct SCase {
    std::vector<std::string> args;
    std::string expected;  // part of the message
  };
  const SCase cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--json", "watch"}, "a command comes first"},
      {{"watch"}, "needs at least one symbol"},
      {{"book"}, "needs a symbol"},
      {{"book", "A", "B"}, "takes one symbol, not 2"},
      {{"decode", "MSFT"}, "takes no symbols"},
      {{"watch", "A;B"}, "'A;B' is not a symbol"},
      {{"watch", "+"}, "'+' is not a symbol"},
      {{"watch", "A", "--server"}, "option --server needs a value"},
      {{"watch", "A", "--server", "nohost"}, "takes HOST:PORT, not 'nohost'"},
      {{"watch", "A", "--server", "h:70000"}, "takes HOST:PORT"},
      {{"watch", "A", "--count", "0"}, "whole number from 1"},
      {{"watch", "A", "--count", "ten"}, "not 'ten'"},
      {{"watch", "A", "--duration", "-1"}, "number of seconds"},
      {{"watch", "A", "--timeout", "5"}, "unknown option --timeout for 'watch'"},
      {{"decode", "--server", "h:1"}, "unknown option --server for 'decode'"},
      {{"watch", "A", "--server", "h:1", "--seed", "3"}, "built-in simulator"},
      {{"watch", "A", "--password", "hunter2"}, "never read from the command line"},
      {{"watch", "A", "--password=hunter2"}, "never read from the command line"},
      {{"watch", "A", "--passwd=hunter2"}, "never read from the command line"},
      {{"watch", "A", "--secret=hunter2"}, "unknown option --secret"},
  };
  for (const auto& c : cases) {
    SArguments parsed;
    std::string message;
    EXPECT_EQ(ParseArguments(c.args, parsed, message), EParseResult::Error) << c.expected;
    EXPECT_NE(message.find(c.expected), std::string::npos) << "'" << message << "' lacks '" << c.expected << "'";
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_EQ(message.find("hunter2"), std::string::npos) << message;
  }
}

TEST(Arguments, HelpIsTheHelpOfTheCommandAsked) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--help"}, "Usage: vokquote COMMAND"},
      {{"help"}, "vokquote decode"},
      {{"watch", "--help"}, "Usage: vokquote watch SYMBOL..."},
      {{"quote", "A", "-h"}, "--timeout MS"},
      {{"decode", "--help"}, "Usage: vokquote decode"},
  };
  for (const auto& [args, expected] : cases) {
    SArguments parsed;
    std::string message;
    EXPECT_EQ(ParseArguments(args, parsed, message), EParseResult::Help) << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
  }
  EXPECT_EQ(HelpText(ECommand::Watch).find("--timeout"), std::string::npos);
  EXPECT_NE(HelpText(ECommand::Watch).find("VOKQUOTE_PASSWORD"), std::string::npos);
}

}  // namespace
}  // namespace vok::cli
