// vok::CThreadChecker: a thread-affine object holds one and asserts with VOK_DCHECK_THREAD that
// it is used on the thread that created it (or, after Detach, the next thread that uses it).
// Debug builds check; release builds (NDEBUG) keep an empty member that costs nothing.
#pragma once

#include <cassert>

#include "platform/thread.h"

namespace vok {

#ifndef NDEBUG

class CThreadChecker {
 public:
  CThreadChecker() : m_owner(CurrentThreadId()) {}
  // True on the owning thread; a detached checker adopts the calling thread.
  bool CalledOnValidThread() {
    const ThreadId current = CurrentThreadId();
    if (m_owner == 0) m_owner = current;
    return m_owner == current;
  }
  // Lets the object move to another thread (for example before it is handed over).
  void Detach() { m_owner = 0; }

 private:
  ThreadId m_owner;
};

#define VOK_DCHECK_THREAD(checker) assert((checker).CalledOnValidThread())

#else

class CThreadChecker {
 public:
  bool CalledOnValidThread() { return true; }
  void Detach() {}
};

#define VOK_DCHECK_THREAD(checker) ((void)0)

#endif

}  // namespace vok
