// CCaptureWriter: appends records to one capture file. A new or empty file gets the header first;
// an existing one must start with a header, and a record that a crash cut short at its end is cut
// off before anything is appended, so every record written later stands on its own line. Records
// are buffered and written out in blocks; Flush writes what is buffered. Not thread-safe: the
// recorder serialises its calls.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace vok::capture {

class CCaptureWriter {
 public:
  CCaptureWriter() = default;
  CCaptureWriter(const CCaptureWriter&) = delete;
  CCaptureWriter& operator=(const CCaptureWriter&) = delete;
  ~CCaptureWriter() { Close(); }

  // False, with a one-line reason, when the file cannot be opened or is not a capture file.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return m_file != nullptr; }
  // False once a write failed; the file is closed then (a half-written record may end it).
  bool Append(std::int64_t timeNs, char kind, std::string_view text);
  bool Flush();
  void Close();
  std::uint64_t BytesWritten() const { return m_bytesWritten; }

 private:
  struct SFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  static constexpr std::size_t kBlockBytes = 64 * 1024;

  std::unique_ptr<std::FILE, SFileCloser> m_file;
  std::string m_pending;
  std::uint64_t m_bytesWritten = 0;
};

}  // namespace vok::capture
