// vok::CCriticalSection: the component's recursive lock (a thread may re-enter a lock it holds),
// with a spin count for short contention. Windows: CRITICAL_SECTION with
// InitializeCriticalSectionAndSpinCount; Linux: std::recursive_mutex (the spin count is ignored).
// CCriticalSectionLock holds it for a scope. Both satisfy std's Lockable (lock/unlock/try_lock).
#pragma once

#include <cstdint>

#ifndef _WIN32
#include <mutex>
#endif

namespace vok {

// The spin count the component's own locks use.
inline constexpr std::uint32_t kDefaultSpinCount = 4000;

class CCriticalSection {
 public:
  explicit CCriticalSection(std::uint32_t spinCount = kDefaultSpinCount);
  ~CCriticalSection();
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

#ifdef _WIN32
  void Lock();
  void Unlock();
  bool TryLock();
#else
  // Inline: the dispatcher takes several locks per update, and the call into the backend was a
  // visible part of each.
  void Lock() { m_mutex.lock(); }
  void Unlock() { m_mutex.unlock(); }
  bool TryLock() { return m_mutex.try_lock(); }
#endif

  void lock() { Lock(); }
  void unlock() { Unlock(); }
  bool try_lock() { return TryLock(); }

 private:
#ifdef _WIN32
  // Storage for a CRITICAL_SECTION, kept opaque so that users do not see <windows.h>; the
  // backend checks that it is big enough.
  alignas(void*) unsigned char m_storage[6 * sizeof(void*)];
#else
  std::recursive_mutex m_mutex;
#endif
};

class CCriticalSectionLock {
 public:
  explicit CCriticalSectionLock(CCriticalSection& lock) : m_lock(lock) { m_lock.Lock(); }
  ~CCriticalSectionLock() { m_lock.Unlock(); }
  CCriticalSectionLock(const CCriticalSectionLock&) = delete;
  CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

 private:
  CCriticalSection& m_lock;
};

}  // namespace vok
