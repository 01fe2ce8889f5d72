// Bounded line reading and record parsing of capture files.
#include "capture/capture_reader.h"

namespace vok::capture {

CCaptureReader::ELine CCaptureReader::ReadLine() {
  m_line.clear();
  std::streambuf* buffer = m_in.rdbuf();
  bool tooLong = false;
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (m_line.empty() && !tooLong) return ELine::End;
      m_tornTail = true;
      return ELine::Torn;
    }
    if (c == '\n') return tooLong ? ELine::TooLong : ELine::Complete;
    if (m_line.size() < kMaxRecordBytes) {
      m_line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
  }
}

bool CCaptureReader::ReadHeader() {
  if (ReadLine() != ELine::Complete) return false;
  m_version = ParseHeader(m_line);
  return m_version == kVersion;
}

bool CCaptureReader::Next(SRecord& record) {
  for (;;) {
    switch (ReadLine()) {
      case ELine::End:
      case ELine::Torn:
        return false;
      case ELine::TooLong:
        ++m_skipped;
        continue;
      case ELine::Complete:
        if (ParseRecord(m_line, record)) return true;
        ++m_skipped;
        continue;
    }
  }
}

}  // namespace vok::capture
