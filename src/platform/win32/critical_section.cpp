// Windows backend of platform/critical_section.h: a CRITICAL_SECTION in the object's storage.
#include "platform/critical_section.h"

#include <windows.h>

namespace vok {
namespace {

CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

CCriticalSection::CCriticalSection(std::uint32_t spinCount) {
  static_assert(sizeof(m_storage) >= sizeof(CRITICAL_SECTION));
  static_assert(alignof(CCriticalSection) >= alignof(CRITICAL_SECTION));
  // Cannot fail on Vista and later.
  ::InitializeCriticalSectionAndSpinCount(Section(m_storage), spinCount);
}

CCriticalSection::~CCriticalSection() { ::DeleteCriticalSection(Section(m_storage)); }
void CCriticalSection::Lock() { ::EnterCriticalSection(Section(m_storage)); }
void CCriticalSection::Unlock() { ::LeaveCriticalSection(Section(m_storage)); }
bool CCriticalSection::TryLock() { return ::TryEnterCriticalSection(Section(m_storage)) != FALSE; }

}  // namespace vok
