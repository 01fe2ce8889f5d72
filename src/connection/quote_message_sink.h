// IQuoteMessageSink: where the quote client posts what it receives (parsed server messages and
// its own connection events) for the single dispatching thread above it. The application object
// implements it; tests implement it with a queue they read.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "message/vok_message.h"

class IQuoteMessageSink {
 public:
  // The component's own connection events. Never waits: the dispatching thread posts some of
  // them itself. Takes ownership.
  virtual void QueueMessage(std::unique_ptr<VOKMessage> message) = 0;
  // A message received from the server (bytes: the length of its text), on the transport's reader
  // thread. Waits while the queue is full, with no lock held: the reader then stops reading its
  // socket and TCP holds the server back. True once queued. False when the wait was given up
  // because `abandon` was set (the connection is closing; see ReleaseWaiters) or the dispatching
  // side stopped; the message is then destroyed.
  virtual bool QueueReceived(std::unique_ptr<VOKMessage> message, std::size_t bytes,
                             const std::atomic<bool>& abandon) = 0;
  // A received message with the length of its text.
  struct SReceived {
    std::unique_ptr<VOKMessage> message;
    std::size_t bytes = 0;
  };
  // The messages of one read, in order, each as QueueReceived would take it (and with the same
  // waits), but appended a run at a time. Leaves `messages` empty; true when all were queued.
  virtual bool QueueReceivedBatch(std::vector<SReceived>& messages, const std::atomic<bool>& abandon) {
    bool queued = true;
    for (SReceived& received : messages) {
      if (queued) queued = QueueReceived(std::move(received.message), received.bytes, abandon);
    }
    messages.clear();
    return queued;
  }
  // Wakes every waiting QueueReceived so that it looks at its abandon flag again.
  virtual void ReleaseWaiters() = 0;

 protected:
  ~IQuoteMessageSink() = default;
};
