// The capture file's text form: a header line naming the format and its version, then one record
// per line, "<ns> <kind> <text>", where ns is the receive time in nanoseconds since 1970 UTC, kind
// 'D' a line as the server sent it (without its line feed) and 'E' a connection event. A file is
// only ever appended to, so a record cut short by a crash is the last line, without a line feed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok::capture {

inline constexpr std::string_view kMagic = "VOKCAPTURE";
inline constexpr int kVersion = 1;
// The transport drops server lines over 1 MiB, so no valid record is longer than this.
inline constexpr std::size_t kMaxRecordBytes = (std::size_t{1} << 20) + 64;

inline constexpr char kKindData = 'D';
inline constexpr char kKindEvent = 'E';

// Words of the event records: "connected <client>", "disconnected <client>", "failed <error>",
// and "start" where a recording begins (a file may hold several, one after the other).
inline constexpr std::string_view kEventConnected = "connected";
inline constexpr std::string_view kEventDisconnected = "disconnected";
inline constexpr std::string_view kEventFailed = "failed";
inline constexpr std::string_view kEventStart = "start";

struct SRecord {
  std::int64_t timeNs = 0;
  char kind = 0;
  std::string_view text;  // into the parsed line
};

// "VOKCAPTURE <version> ..." -> the version, or 0 when the line is no capture header.
int ParseHeader(std::string_view line);
// A record line without its line feed; false for anything else (the header included).
bool ParseRecord(std::string_view line, SRecord& record);

void AppendHeader(std::string& out, std::int64_t createdNs);
void AppendRecord(std::string& out, std::int64_t timeNs, char kind, std::string_view text);

// Nanoseconds since 1970 UTC now.
std::int64_t NowNs();

}  // namespace vok::capture
