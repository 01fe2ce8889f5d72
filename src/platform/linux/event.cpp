// Linux backend of platform/event.h: a non-blocking eventfd is signalled while its counter is
// non-zero; an auto-reset event is cleared by the read that the successful wait performs.
#include "platform/event.h"

#include <sys/eventfd.h>

#include "platform/linux/fd_util.h"

namespace vok {

CEvent::CEvent(EventReset reset, bool initiallySignalled) {
  m_handle.fd = ::eventfd(initiallySignalled ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
  m_handle.autoReset = reset == EventReset::Auto;
}

CEvent::~CEvent() { linux_fd::Close(m_handle.fd); }

void CEvent::Set() {
  if (m_handle.fd >= 0) linux_fd::Signal(m_handle.fd);
}

void CEvent::Reset() {
  if (m_handle.fd >= 0) linux_fd::Drain(m_handle.fd);
}

}  // namespace vok
