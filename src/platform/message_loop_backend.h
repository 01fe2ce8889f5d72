// Between platform/message_loop.cpp (the loop itself, shared) and the backends' queues: how the
// shared loop learns that QuitMessageLoop was called on this thread. Not for use outside platform/.
#pragma once

namespace vok::message_loop_backend {

// True once after QuitMessageLoop on the calling thread (or a quit message was pumped).
bool TakeQuitRequest();

}  // namespace vok::message_loop_backend
