// CLI11 set up the same way for both tools, and its outcomes turned into help text or one-line
// errors.
#include "command_line.h"

#include <algorithm>

#include <vokquote/version.h>

namespace vok::tools {
namespace {

// A formatter per app, so each command states its usage in words ("SYMBOL...") and its summary
// in full, while the list of commands shows the one-line descriptions.
class CFormatter final : public CLI::Formatter {
 public:
  CFormatter(std::string usage, std::string summary) : m_usage(std::move(usage)), m_summary(std::move(summary)) {
    column_width(26);
  }
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (m_usage.empty()) return CLI::Formatter::make_usage(app, std::move(name));
    return "Usage: " + m_usage + "\n";
  }
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    std::string text = make_usage(app, name) + "\n";
    if (!m_summary.empty()) text += m_summary + "\n";
    text += make_groups(app, mode) + make_subcommands(app, mode) + "\n" + make_footer(app);
    // One blank line between sections, none at the end.
    for (auto at = text.find("\n\n\n"); at != std::string::npos; at = text.find("\n\n\n")) text.erase(at, 1);
    while (text.size() > 1 && text.ends_with("\n\n")) text.pop_back();
    return text;
  }

 private:
  std::string m_usage;
  std::string m_summary;
};

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The deepest command that was selected: its help answers --help, its name goes in hints.
const CLI::App* Selected(const CLI::App& app) {
  const CLI::App* current = &app;
  for (auto subcommands = current->get_subcommands(); !subcommands.empty(); subcommands = current->get_subcommands())
    current = subcommands.front();
  return current;
}

std::string CommandPath(const CLI::App& app) {
  std::string path = app.get_name();
  for (const CLI::App* parent = app.get_parent(); parent != nullptr; parent = parent->get_parent())
    path = parent->get_name() + " " + path;
  return path;
}

}  // namespace

void ApplyConventions(CLI::App& app, const std::string& program) {
  app.name(program);
  app.formatter(std::make_shared<CFormatter>(std::string(), std::string()));
  app.set_help_flag("-h,--help", "this text");
  app.set_version_flag("--version", program + " " VOKQUOTE_VERSION_STRING, "the program's name and version");
  // Unknown arguments are collected and reported by Parse, which names the option without its
  // value (a mistyped option may carry a secret).
  app.allow_extras();
  app.fallthrough(false);
}

void SetUsage(CLI::App& app, std::string usage, std::string summary) {
  app.formatter(std::make_shared<CFormatter>(std::move(usage), std::move(summary)));
}

std::string HelpOf(const CLI::App& app) { return app.help(); }

EParseOutcome Parse(CLI::App& app, std::vector<std::string> args, std::string& message) {
  message.clear();
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    message = app.help();
    return EParseOutcome::Help;
  } catch (const CLI::CallForVersion& version) {
    message = std::string(version.what()) + "\n";
    return EParseOutcome::Help;
  } catch (const CLI::ArgumentMismatch& error) {
    // "--count: 1 required N missing": the option is named before the colon.
    const std::string text = error.what();
    message = "option " + text.substr(0, text.find(':')) + " needs a value";
    return EParseOutcome::Error;
  } catch (const CLI::ParseError& error) {
    message = OneLine(error.what());
    return EParseOutcome::Error;
  }
  const CLI::App* command = Selected(app);
  for (const CLI::App* each = command; each != nullptr; each = each->get_parent()) {
    const auto extras = each->remaining();
    if (extras.empty()) continue;
    const std::string& first = extras.front();
    const std::string hint = "; '" + CommandPath(*command) + " --help' lists them";
    if (first.size() > 1 && first[0] == '-') {
      message = "unknown option " + first.substr(0, first.find('=')) + hint;
    } else {
      message = "unexpected argument '" + first + "'" + hint;
    }
    return EParseOutcome::Error;
  }
  return EParseOutcome::Ok;
}

}  // namespace vok::tools
