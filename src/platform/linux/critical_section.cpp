// Linux backend of platform/critical_section.h: a std::recursive_mutex. The spin count is not
// used: the C library's recursive mutex has no spin phase to give it to.
#include "platform/critical_section.h"

namespace vok {

CCriticalSection::CCriticalSection(std::uint32_t) {}
CCriticalSection::~CCriticalSection() = default;

}  // namespace vok
