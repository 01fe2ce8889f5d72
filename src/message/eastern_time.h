// US Eastern time for the message layer: the process-wide offset (hours behind UTC, fixed when the
// library loads) and the conversions of FIX times: reading the transaction time (tag 60) into
// Eastern date and time fields, writing field 1021 back in UTC, and the UTC sending-time stamp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class VOKMessage;

namespace vok::message {

// 4 during daylight saving time, else 5, for a moment given as seconds since 1970 UTC. Daylight
// time runs from 07:00 UTC on the second Sunday of March to 07:00 UTC on the first Sunday of
// November; a moment that is not positive gives 5.
int EasternOffsetForUtc(std::int64_t utcSeconds);

// The offset computed once for the moment the library loaded.
int EasternOffsetHours();

// Stores value as text in 1047 and, when it is a valid FIX timestamp longer than 16 characters,
// the Eastern date in 1022 ("%m/%d/%Y") and time in 1021.
void ReadFixTransactTime(VOKMessage& message, std::string_view value, int offsetHours);

// The FIX text of field 1021 ("[date-]HH:MM:SS" in Eastern time) as UTC "HH:MM:SS".
void AppendFixTransactTime(std::string& out, std::string_view value, int offsetHours);

// "YYYYMMDD-HH:MM:SS.sss" of a UTC moment in milliseconds since 1970.
void AppendUtcTimestamp(std::string& out, std::int64_t utcMs);
std::int64_t CurrentUtcMs();

}  // namespace vok::message
