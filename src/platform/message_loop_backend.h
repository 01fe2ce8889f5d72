// Between platform/message_loop.cpp (the loop itself, shared) and the backends' queues: how the
// shared loop takes a quit request as the thread's own loop. Not for use outside platform/.
#pragma once

namespace vok::message_loop_backend {

// Takes the calling thread's pending quit request (see QuitPending), so that it is gone from the
// queue as well: true when there was one.
bool TakeQuitRequest();

}  // namespace vok::message_loop_backend
