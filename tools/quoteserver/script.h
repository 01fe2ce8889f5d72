// Scripted server behaviour for tests: a list of steps that a session runs in order, next to its
// normal work (logon replies, heartbeats, data). Steps wait for client lines, send arbitrary or
// malformed text, split lines across writes, go silent, drop the connection, change how the next
// logon is answered, send '5' notices and flood. A script is built in code or read from a file
// (format in docs/quoteserver.md); steps can target one connection by its number (1 = first).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vok::sim {

enum class EScriptAction {
  Expect,      // wait until the client has sent a line starting with text
  Send,        // text and a line feed, one write
  SendRaw,     // text exactly, one write
  Split,       // text and a line feed in `number` writes, split delay apart
  Bytewise,    // text and a line feed one byte per write, split delay apart
  Sleep,       // number milliseconds
  Silent,      // number != 0: no heartbeats, no heartbeat answers, no data
  Heartbeats,  // number != 0: periodic heartbeats on
  Data,        // number != 0: market data on
  Drop,        // close the connection
  Logon,       // how later logons are answered: text accept|refuse|ignore|delay, number = delay ms
  Notice,      // a '5' line with field 1011 = text
  Flood,       // number level 1 lines as fast as the client reads, later steps after the last
               // (0: without end, later steps at once)
};

struct SScriptStep {
  EScriptAction action = EScriptAction::Send;
  std::string text;
  std::int64_t number = 0;

  bool operator==(const SScriptStep&) const = default;
};

class CScript {
 public:
  // Reads the text form; on failure error names the line. Escapes in texts: \n \r \t \\ \0 \xHH.
  static bool Parse(std::string_view text, CScript& script, std::string& error);
  static bool Load(const std::string& path, CScript& script, std::string& error);

  // Steps added after this go to connection `number` only (0: every connection that has no steps
  // of its own).
  CScript& ForSession(int number);

  CScript& Expect(std::string prefix) { return Add(EScriptAction::Expect, std::move(prefix), 0); }
  CScript& Send(std::string line) { return Add(EScriptAction::Send, std::move(line), 0); }
  CScript& SendRaw(std::string bytes) { return Add(EScriptAction::SendRaw, std::move(bytes), 0); }
  CScript& Split(std::string line, int pieces) { return Add(EScriptAction::Split, std::move(line), pieces); }
  CScript& Bytewise(std::string line) { return Add(EScriptAction::Bytewise, std::move(line), 0); }
  CScript& Sleep(int ms) { return Add(EScriptAction::Sleep, {}, ms); }
  CScript& Silent(bool on) { return Add(EScriptAction::Silent, {}, on ? 1 : 0); }
  CScript& Heartbeats(bool on) { return Add(EScriptAction::Heartbeats, {}, on ? 1 : 0); }
  CScript& Data(bool on) { return Add(EScriptAction::Data, {}, on ? 1 : 0); }
  CScript& Drop() { return Add(EScriptAction::Drop, {}, 0); }
  // policy: "accept", "refuse", "ignore" or "delay" (with delayMs).
  CScript& Logon(std::string policy, int delayMs = 0) { return Add(EScriptAction::Logon, std::move(policy), delayMs); }
  CScript& Notice(std::string text) { return Add(EScriptAction::Notice, std::move(text), 0); }
  CScript& Flood(std::int64_t lines) { return Add(EScriptAction::Flood, {}, lines); }

  // The steps connection `number` runs.
  const std::vector<SScriptStep>& StepsFor(int number) const;
  bool Empty() const { return m_every.empty() && m_bySession.empty(); }

 private:
  CScript& Add(EScriptAction action, std::string text, std::int64_t number);

  std::vector<SScriptStep> m_every;
  std::map<int, std::vector<SScriptStep>> m_bySession;
  int m_target = 0;
};

}  // namespace vok::sim
