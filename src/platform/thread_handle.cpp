// The part of vok::CThreadHandle that both backends share: the guard around a thread's body.
#include "platform/thread_handle.h"

#include <cassert>
#include <exception>

namespace vok {

void RunThreadBody(const std::function<void()>& body) noexcept {
  try {
    body();
  } catch (const std::exception&) {
    assert(!"an exception left a thread body");
  }
}

}  // namespace vok
