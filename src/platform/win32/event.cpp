// Windows backend of platform/event.h: an unnamed kernel event.
#include "platform/event.h"

#include <windows.h>

namespace vok {

CEvent::CEvent(EventReset reset, bool initiallySignalled) {
  m_handle.handle =
      ::CreateEventW(nullptr, reset == EventReset::Manual ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE, nullptr);
}

CEvent::~CEvent() {
  if (m_handle.handle != nullptr) ::CloseHandle(m_handle.handle);
}

void CEvent::Set() {
  if (m_handle.handle != nullptr) ::SetEvent(m_handle.handle);
}

void CEvent::Reset() {
  if (m_handle.handle != nullptr) ::ResetEvent(m_handle.handle);
}

}  // namespace vok
