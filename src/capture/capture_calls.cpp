// The C calls of <vokquote/api.h> for capture files: starting and stopping the recording, and
// reading one line of a capture, so a client tool needs nothing of the component's internals.
#include <vokquote/api.h>

#include <new>
#include <string>

#include "capture/capture_format.h"
#include "capture/capture_recorder.h"

extern "C" HRESULT VokSetCaptureFile(const char* path) {
  try {
    if (path == nullptr || *path == '\0') {
      vok::capture::StopRecording();
      return S_OK;
    }
    std::string error;
    return vok::capture::StartRecording(path, error) ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" int VokParseCaptureLine(const char* line, size_t length, VokCaptureRecord* record) {
  if (line == nullptr || record == nullptr) return VOK_CAPTURE_OTHER;
  *record = VokCaptureRecord{};
  const std::string_view text(line, length);
  if (const int version = vok::capture::ParseHeader(text); version > 0) {
    record->timeNs = version;
    return VOK_CAPTURE_HEADER;
  }
  vok::capture::SRecord parsed;
  if (!vok::capture::ParseRecord(text, parsed)) return VOK_CAPTURE_OTHER;
  record->timeNs = parsed.timeNs;
  record->kind = parsed.kind;
  record->text = parsed.text.data();
  record->length = parsed.text.size();
  return VOK_CAPTURE_RECORD;
}
