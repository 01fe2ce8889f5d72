// CCaptureReader: reads the records of a capture file from a stream, one at a time. Lines are read
// with a bound (a longer one is skipped, never held whole), lines that are no record are skipped
// and counted, and a last line without a line feed - a record a crash cut short - is ignored.
// The records' text stays valid until the next call of Next.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "capture/capture_format.h"

namespace vok::capture {

class CCaptureReader {
 public:
  explicit CCaptureReader(std::istream& in) : m_in(in) {}

  // Reads the header line. False when the stream is no capture of a version this reader knows.
  bool ReadHeader();
  int Version() const { return m_version; }
  // The next record; false at the end of the stream.
  bool Next(SRecord& record);

  std::uint64_t Skipped() const { return m_skipped; }  // lines that were no record, or too long
  bool TornTail() const { return m_tornTail; }         // the last line had no line feed

 private:
  enum class ELine { Complete, Torn, TooLong, End };
  ELine ReadLine();

  std::istream& m_in;
  std::string m_line;
  int m_version = 0;
  std::uint64_t m_skipped = 0;
  bool m_tornTail = false;
};

}  // namespace vok::capture
