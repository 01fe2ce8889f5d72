// CUpdateTimeReader: the moment of a level 1 or options update. A FIX UTC stamp when the message
// has one, else the feed's Eastern date and time texts, a missing one of the two taken from the
// moment already held. Consecutive updates mostly carry the same texts (the feed's clock ticks in
// seconds), so the reader keeps the last text it converted and its result.
// Threads: not thread-safe; each handler owns one and uses it under its own lock.
#pragma once

#include <cstddef>

#include "platform/com.h"

class VOKMessage;

class CUpdateTimeReader {
 public:
  // Updates `moment` (a UTC OLE date) from the message; leaves it as it was when the message
  // carries no time at all or a text that does not read as one.
  void Merge(const VOKMessage& message, DATE& moment);

 private:
  // Texts longer than this are no date or time anyway and are cut short.
  static constexpr std::size_t kTextSize = 64;
  enum Kind { kNone, kFix, kEastern };

  // Converts a text of the given kind, or reuses the last result for the same text.
  void Convert(Kind kind, const char* text, std::size_t length, DATE& moment);

  Kind m_lastKind = kNone;
  char m_lastText[2 * kTextSize];
  std::size_t m_lastLength = 0;
  DATE m_lastValue = 0;
};
