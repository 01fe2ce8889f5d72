// The thread checker binds to its creating thread (or, after Detach, to the next user) in debug
// builds; release builds accept every thread.
#include "platform/thread_checker.h"

#include <gtest/gtest.h>

#include "platform/thread_handle.h"

namespace vok {
namespace {

bool CheckOnOtherThread(CThreadChecker& checker) {
  bool result = false;
  CThreadHandle thread;
  thread.Start([&] { result = checker.CalledOnValidThread(); });
  thread.Join();
  return result;
}

TEST(ThreadCheckerTest, AcceptsOnlyTheOwningThreadInDebugBuilds) {
  CThreadChecker checker;
  EXPECT_TRUE(checker.CalledOnValidThread());
#ifndef NDEBUG
  EXPECT_FALSE(CheckOnOtherThread(checker));
  checker.Detach();
  EXPECT_TRUE(CheckOnOtherThread(checker));  // the other thread adopted it
  EXPECT_FALSE(checker.CalledOnValidThread());
#else
  EXPECT_TRUE(CheckOnOtherThread(checker));
  static_assert(sizeof(CThreadChecker) == 1);
#endif
}

}  // namespace
}  // namespace vok
