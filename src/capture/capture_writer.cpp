// Opening a capture file for appending (header check, cutting off a torn last record) and the
// buffered writes.
#include "capture/capture_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "capture/capture_format.h"
#include "platform/file.h"

namespace vok::capture {

namespace {

struct SFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The first line of a file, at most limit bytes.
std::string FirstLine(std::FILE* file, std::size_t limit) {
  std::string line;
  for (int c = std::fgetc(file); c != EOF && c != '\n' && line.size() < limit; c = std::fgetc(file)) {
    line.push_back(static_cast<char>(c));
  }
  return line;
}

// The size of the file up to and including its last line feed, or -1 when it cannot be read or
// has none within the longest record from its end (then it is no capture this writer made).
std::int64_t CompleteLength(std::FILE* file, std::int64_t size) {
  char block[4096];
  std::int64_t end = size;
  const std::int64_t floor = std::max<std::int64_t>(0, size - static_cast<std::int64_t>(kMaxRecordBytes) - 1);
  while (end > floor) {
    const std::int64_t start = std::max<std::int64_t>(floor, end - static_cast<std::int64_t>(sizeof block));
    const auto want = static_cast<std::size_t>(end - start);
    // Sought from the end: never more than one record back, so the offset fits a long everywhere.
    if (std::fseek(file, -static_cast<long>(size - start), SEEK_END) != 0 || std::fread(block, 1, want, file) != want) {
      return -1;
    }
    for (std::size_t i = want; i > 0; --i) {
      if (block[i - 1] == '\n') return start + static_cast<std::int64_t>(i);
    }
    end = start;
  }
  return -1;
}

}  // namespace

bool CCaptureWriter::Open(const std::string& path, std::string& error) {
  Close();
  EFileKind kind = EFileKind::Missing;
  std::int64_t size = 0;
  if (!InspectFile(path, kind, size)) {
    error = "cannot read its size";
    return false;
  }
  if (kind == EFileKind::Other) {
    error = "not a regular file";
    return false;
  }
  if (size > 0) {
    std::unique_ptr<std::FILE, SFileClose> existing(std::fopen(path.c_str(), "rb"));
    if (!existing) {
      error = "cannot be read";
      return false;
    }
    if (ParseHeader(FirstLine(existing.get(), 256)) != kVersion) {
      error = "not a capture file of version " + std::to_string(kVersion);
      return false;
    }
    const std::int64_t complete = CompleteLength(existing.get(), size);
    if (complete <= 0) {
      error = "has no whole record at its end";
      return false;
    }
    existing.reset();
    if (complete < size && !TruncateFile(path, complete)) {
      error = "its torn last record cannot be cut off";
      return false;
    }
  }
  m_file.reset(std::fopen(path.c_str(), "ab"));
  if (!m_file) {
    error = "cannot be opened for writing";
    return false;
  }
  // The writer buffers whole blocks itself.
  std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
  const std::int64_t now = NowNs();
  if (size == 0) AppendHeader(m_pending, now);
  AppendRecord(m_pending, now, kKindEvent, kEventStart);
  if (!Flush()) {
    error = "cannot be written";
    return false;
  }
  return true;
}

bool CCaptureWriter::Append(std::int64_t timeNs, char kind, std::string_view text) {
  if (!m_file) return false;
  AppendRecord(m_pending, timeNs, kind, text);
  return m_pending.size() < kBlockBytes || Flush();
}

bool CCaptureWriter::Flush() {
  if (!m_file) return false;
  if (m_pending.empty()) return true;
  const std::size_t written = std::fwrite(m_pending.data(), 1, m_pending.size(), m_file.get());
  m_bytesWritten += written;
  if (written != m_pending.size() || std::fflush(m_file.get()) != 0) {
    m_pending.clear();
    m_file.reset();
    return false;
  }
  m_pending.clear();
  if (m_pending.capacity() > 4 * kBlockBytes) m_pending.shrink_to_fit();
  return true;
}

void CCaptureWriter::Close() {
  if (!m_file) return;
  Flush();
  m_file.reset();
}

}  // namespace vok::capture
