// CHandlerSet: the four data handlers of one service object and the table of which handler takes
// which message type. Subscription calls fan out to all four in one fixed order (level 1, time and
// sales, level 2, options); the pump hands every data message to Dispatch, which passes it to the
// handler of its type. The service object owns one set and is the host the handlers see.
//
// Threads: Create and Destroy run before the pump starts and after it stopped, so the type table
// needs no lock; Dispatch runs on the pump thread; Advise, Unadvise and UnadviseAll on client
// threads under the service object's lock; Resubscribe under the client lock; TestTick on the test
// thread. Each handler guards its own state (the lock order is stated in service/vok_quotes.h).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "handlers/handler.h"
#include "records/vokquote.h"

class CHandler;
class CQuoteHandler;
class CTSHandler;
class CL2Handler;
class COptionsHandler;
class IHandlerHost;
class VOKMessage;

// What the pump gives each data message to.
class IDataDispatch {
 public:
  virtual void Dispatch(const VOKMessage& message) = 0;

 protected:
  ~IDataDispatch() = default;
};

class CHandlerSet final : public IDataDispatch {
 public:
  CHandlerSet();
  ~CHandlerSet();
  CHandlerSet(const CHandlerSet&) = delete;
  CHandlerSet& operator=(const CHandlerSet&) = delete;

  // Makes the four handlers (a handler that cannot be allocated is left out) and fills the type
  // table; a later handler that lists a type already taken replaces the earlier one.
  void Create(IHandlerHost* host);
  // Empties the type table and destroys the handlers, in creation order.
  void Destroy();

  // False when some handler could not advise (this thread can have no thread map or queue).
  bool Advise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags);
  void Unadvise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags);
  void UnadviseAll(IVokQuotesNotify* notify);
  // Sends every subscription again; the caller holds the client lock.
  void Resubscribe();
  // Every subscribed symbol of the four services with the time of its last update.
  std::vector<SSymbolUpdate> LastUpdates();
  // The periodic test operation of each handler.
  void TestTick();
  // Data goes to its handler whatever the connection state and whichever client received it.
  void Dispatch(const VOKMessage& message) override;

  CQuoteHandler* Quotes() const { return m_quoteHandler.get(); }
  CL2Handler* Level2() const { return m_l2Handler.get(); }
  COptionsHandler* Options() const { return m_optionsHandler.get(); }
  CHandler* HandlerForType(char type) const { return m_typeMap[static_cast<unsigned char>(type)]; }

 private:
  // Each existing handler, in creation order.
  template <class Call>
  void ForEach(Call call);

  std::unique_ptr<CQuoteHandler> m_quoteHandler;
  std::unique_ptr<CTSHandler> m_tsHandler;
  std::unique_ptr<CL2Handler> m_l2Handler;
  std::unique_ptr<COptionsHandler> m_optionsHandler;
  std::array<CHandler*, 256> m_typeMap{};
};
