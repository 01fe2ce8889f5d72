// The command line parsed in-process: what each command and option form yields, the one-line
// errors (never echoing a secret), and the help texts.
#include "arguments.h"

#include <gtest/gtest.h>

namespace vok::cli {
namespace {

// What a parse produced, in one line: command symbols host:port count duration timeout json utc
// tls ca.
std::string Summary(const SArguments& a) {
  const char* const names[] = {"none", "watch", "book", "tape", "chain", "quote", "decode"};
  std::string text = names[static_cast<int>(a.command)];
  for (const auto& symbol : a.symbols) text += " " + symbol;
  return text + " " + a.host + ":" + std::to_string(a.port) + " " + std::to_string(a.count) + " " +
         std::to_string(a.durationMs) + " " + std::to_string(a.timeoutMs) + (a.json ? " json" : "") +
         (a.utc ? " utc" : "") + (a.tls ? " tls " + a.caFile : "");
}

TEST(Arguments, ParsesEachCommandWithItsSymbolsAndOptionsInEitherForm) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"watch", "msft", " ibm ", "MSFT"}, "watch MSFT IBM :0 0 0 5000"},
      {{"book", "XYZ", "--server", "quotes.example:5021", "--json", "--utc"},
       "book XYZ quotes.example:5021 0 0 5000 json utc"},
      {{"tape", "A", "B", "--count=10", "--duration", "1.5"}, "tape A B :0 10 1500 5000"},
      {{"chain", "+XYZ-270115-P-52.5"}, "chain +XYZ-270115-P-52.5 :0 0 0 5000"},
      {{"quote", "MSFT", "--timeout", "0", "--server=127.0.0.1:1"}, "quote MSFT 127.0.0.1:1 0 0 0"},
      {{"decode", "--json"}, "decode :0 0 0 5000 json"},
      {{"watch", "A", "--server=h:1", "--tls"}, "watch A h:1 0 0 5000 tls "},
      {{"watch", "A", "--server=h:1", "--ca", "ca.pem"}, "watch A h:1 0 0 5000 tls ca.pem"},
  };
  for (const auto& [args, expected] : cases) {
    SArguments parsed;
    std::string message;
    ASSERT_EQ(ParseArguments(args, parsed, message), EParseResult::Ok) << args[0] << ": " << message;
    EXPECT_EQ(Summary(parsed), expected);
  }
  SArguments parsed;
  std::string message;
  ASSERT_EQ(ParseArguments({"watch", "X", "--user=bob", "--password-file", "/tmp/p", "--seed", "7", "--rate=0"}, parsed,
                           message),
            EParseResult::Ok);
  EXPECT_EQ(
      parsed.user + " " + parsed.passwordFile + " " + std::to_string(parsed.seed) + " " + std::to_string(parsed.rate),
      "bob /tmp/p 7 0");
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
      {{"watch", "A", "--tls"}, "--tls and --ca need --server"},
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
      {{"help"}, "decode"},
      {{"--version"}, "vokquote 2.1.0\n"},
      {{"watch", "--help"}, "Usage: vokquote watch SYMBOL..."},
      {{"quote", "A", "-h"}, "--timeout MS"},
  };
  for (const auto& [args, expected] : cases) {
    SArguments parsed;
    std::string message;
    EXPECT_EQ(ParseArguments(args, parsed, message), EParseResult::Help) << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
  }
  // Each help lists what that command honours, and nothing else.
  EXPECT_EQ(HelpText(ECommand::Watch).find("--timeout"), std::string::npos);
  EXPECT_EQ(HelpText(ECommand::Quote).find("--count"), std::string::npos);
  EXPECT_EQ(HelpText(ECommand::Decode).find("--server"), std::string::npos);
}

}  // namespace
}  // namespace vok::cli
