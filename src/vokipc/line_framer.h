// CLineFramer: cuts a received byte stream into message texts at each line feed. A text is handed
// on NUL-terminated and without its line feed (a carriage return before it stays: the message
// reader stops at it). A line longer than the limit is dropped up to its line feed, with one
// warning trace, so a peer that never sends a line feed cannot make the buffer grow without bound.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

class CLineFramer {
 public:
  static constexpr std::size_t kMaxLine = std::size_t{1} << 20;

  explicit CLineFramer(std::size_t maxLine = kMaxLine) : m_maxLine(maxLine) {}

  // Feeds size bytes of data; the buffer is written to (line feeds become NULs, so complete lines
  // are handed on in place, and a line joined from earlier data stays valid until the next Feed). deliver(const char*
  // text, int length) returns false to stop: the rest of the data is then ignored. Returns false when deliver stopped
  // it.
  template <typename Deliver>
  bool Feed(char* data, std::size_t size, Deliver&& deliver) {
    std::size_t pos = 0;
    while (pos < size) {
      char* start = data + pos;
      char* lineFeed = static_cast<char*>(std::memchr(start, '\n', size - pos));
      const std::size_t part = lineFeed ? static_cast<std::size_t>(lineFeed - start) : size - pos;
      pos += part + (lineFeed ? 1 : 0);
      if (m_discarding) {
        if (lineFeed) m_discarding = false;
        continue;
      }
      if (m_pending.size() + part > m_maxLine) {
        Discard(m_pending.size() + part);
        if (!lineFeed) m_discarding = true;
        continue;
      }
      if (!lineFeed) {
        m_pending.append(start, part);
        continue;
      }
      bool keepGoing;
      if (m_pending.empty()) {
        *lineFeed = '\0';
        keepGoing = deliver(static_cast<const char*>(start), static_cast<int>(part));
      } else {
        m_pending.append(start, part);
        // The joined line moves aside and stays readable until the next Feed, so a caller may
        // collect the lines of one Feed and hand them on together.
        m_joined.swap(m_pending);
        m_pending.clear();
        keepGoing = deliver(static_cast<const char*>(m_joined.c_str()), static_cast<int>(m_joined.size()));
      }
      if (!keepGoing) return false;
    }
    return true;
  }

  // Lines dropped for their length so far.
  std::size_t DiscardedLines() const { return m_discardedLines; }
  std::size_t PendingBytes() const { return m_pending.size(); }

 private:
  void Discard(std::size_t seenBytes);

  std::size_t m_maxLine;
  std::string m_pending;
  std::string m_joined;  // the last line put together from two or more reads
  bool m_discarding = false;
  std::size_t m_discardedLines = 0;
};
