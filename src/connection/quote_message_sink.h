// IQuoteMessageSink: where the quote client posts what it receives (parsed server messages and
// its own connection events) for the single dispatching thread above it. The application object
// implements it; tests implement it with a queue they read.
#pragma once

#include <memory>

class VOKMessage;

class IQuoteMessageSink {
 public:
  // Takes ownership; called on transport threads and on the connection worker.
  virtual void QueueMessage(std::unique_ptr<VOKMessage> message) = 0;

 protected:
  ~IQuoteMessageSink() = default;
};
