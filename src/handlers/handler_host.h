// IHandlerHost: what the service handlers need of the service object and of the quote connection.
// The service object implements it; tests implement it with a fake that records what would be sent.
// Handlers never see the service object or the connection classes themselves.
#pragma once

#include <string>

#include "platform/critical_section.h"

class VOKMessage;

class IHandlerHost {
 public:
  // The "LogQuotes" setting: data messages are traced at level 2 while it is on.
  virtual bool LogQuotes() const = 0;
  // The "ImmediateDelivery" setting: a thread that subscribes has its loop woken for new items
  // instead of waiting for its drain timer.
  virtual bool ImmediateDelivery() const = 0;

  // The borrow rate a client set for the symbol through the private interface, if any.
  virtual bool GetBorrowRate(const std::string& symbol, double& rate) = 0;

  // Records the underlier of an option root ("+XYZ" of "+XYZ-..."); a root already known keeps
  // the underlier it has.
  virtual void AddOptionRoot(const std::string& root, const std::string& underlier) = 0;

  // The module-wide recursive lock of the current connection and its state. Handlers take it only
  // while they hold no handler lock, except inside Resubscribe, whose caller already holds it.
  virtual vok::CCriticalSection& ConnectionLock() = 0;
  // Both called with ConnectionLock held: whether a current connection exists and is logged in,
  // and sending one message on it (the result is not checked).
  virtual bool ConnectionLoggedIn() = 0;
  virtual void Send(const VOKMessage& message) = 0;

 protected:
  ~IHandlerHost() = default;
};
