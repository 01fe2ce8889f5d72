// Script building and the text form of scripts.
#include "script.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vok::sim {

namespace {

bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case '0':
        out += '\0';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        std::string hex(text.substr(i + 1, 2));
        char* end = nullptr;
        long value = std::strtol(hex.c_str(), &end, 16);
        if (hex.size() != 2 || end != hex.c_str() + 2) return false;
        out += static_cast<char>(value);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

bool ParseNumber(std::string_view text, std::int64_t& value) {
  std::string copy(text);
  if (copy.empty()) return false;
  char* end = nullptr;
  value = std::strtoll(copy.c_str(), &end, 10);
  return end == copy.c_str() + copy.size() && value >= 0;
}

bool ParseOnOff(std::string_view text, std::int64_t& value) {
  if (text == "on")
    value = 1;
  else if (text == "off")
    value = 0;
  else
    return false;
  return true;
}

}  // namespace

CScript& CScript::ForSession(int number) {
  m_target = number < 0 ? 0 : number;
  if (m_target != 0) m_bySession[m_target];
  return *this;
}

CScript& CScript::Add(EScriptAction action, std::string text, std::int64_t number) {
  SScriptStep step{action, std::move(text), number};
  if (m_target == 0) {
    m_every.push_back(std::move(step));
  } else {
    m_bySession[m_target].push_back(std::move(step));
  }
  return *this;
}

const std::vector<SScriptStep>& CScript::StepsFor(int number) const {
  auto it = m_bySession.find(number);
  return it != m_bySession.end() ? it->second : m_every;
}

bool CScript::Parse(std::string_view text, CScript& script, std::string& error) {
  script = CScript();
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') continue;
    line.remove_prefix(start);

    auto fail = [&](const char* what) {
      error = "line " + std::to_string(lineNumber) + ": " + what;
      return false;
    };
    if (line.front() == '[') {
      if (line == "[every]") {
        script.ForSession(0);
        continue;
      }
      std::int64_t number = 0;
      if (line.size() > 10 && line.substr(0, 9) == "[session " && line.back() == ']' &&
          ParseNumber(line.substr(9, line.size() - 10), number) && number > 0) {
        script.ForSession(static_cast<int>(number));
        continue;
      }
      return fail("a section is [every] or [session N]");
    }

    std::size_t space = line.find(' ');
    std::string_view word = line.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    std::string argument;
    std::int64_t number = 0;
    if (word == "expect" || word == "send" || word == "raw" || word == "bytewise" || word == "notice") {
      if (!Unescape(rest, argument)) return fail("bad escape");
      if (word != "send" && argument.empty()) return fail("text missing");
      if (word == "expect")
        script.Expect(argument);
      else if (word == "send")
        script.Send(argument);
      else if (word == "raw")
        script.SendRaw(argument);
      else if (word == "bytewise")
        script.Bytewise(argument);
      else
        script.Notice(argument);
    } else if (word == "split") {
      std::size_t gap = rest.find(' ');
      if (gap == std::string_view::npos || !ParseNumber(rest.substr(0, gap), number) || number < 1 || number > 65536) {
        return fail("split N TEXT, N from 1 to 65536");
      }
      if (!Unescape(rest.substr(gap + 1), argument)) return fail("bad escape");
      script.Split(argument, static_cast<int>(number));
    } else if (word == "sleep") {
      if (!ParseNumber(rest, number) || number > 3600000) return fail("sleep MS");
      script.Sleep(static_cast<int>(number));
    } else if (word == "silent" || word == "heartbeats" || word == "data") {
      if (!ParseOnOff(rest, number)) return fail("on or off expected");
      if (word == "silent")
        script.Silent(number != 0);
      else if (word == "heartbeats")
        script.Heartbeats(number != 0);
      else
        script.Data(number != 0);
    } else if (word == "drop") {
      script.Drop();
    } else if (word == "logon") {
      if (rest == "accept" || rest == "refuse" || rest == "ignore") {
        script.Logon(std::string(rest));
      } else if (rest.substr(0, 6) == "delay " && ParseNumber(rest.substr(6), number) && number <= 3600000) {
        script.Logon("delay", static_cast<int>(number));
      } else {
        return fail("logon accept|refuse|ignore|delay MS");
      }
    } else if (word == "flood") {
      if (!ParseNumber(rest, number)) return fail("flood N");
      script.Flood(number);
    } else {
      return fail("unknown step");
    }
  }
  script.ForSession(0);
  return true;
}

bool CScript::Load(const std::string& path, CScript& script, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return Parse(text.str(), script, error);
}

}  // namespace vok::sim
