// CHandlerSet: the fan-out of subscription calls to the four handlers and the type table that
// routes data messages.
#include "handlers/handler_set.h"

#include <new>

#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "handlers/ts_handler.h"
#include "message/vok_message.h"

CHandlerSet::CHandlerSet() = default;

CHandlerSet::~CHandlerSet() { Destroy(); }

template <class Call>
void CHandlerSet::ForEach(Call call) {
  for (CHandler* handler :
       {static_cast<CHandler*>(m_quoteHandler.get()), static_cast<CHandler*>(m_tsHandler.get()),
        static_cast<CHandler*>(m_l2Handler.get()), static_cast<CHandler*>(m_optionsHandler.get())}) {
    if (handler != nullptr) call(*handler);
  }
}

void CHandlerSet::Create(IHandlerHost* host) {
  Destroy();
  m_quoteHandler.reset(new (std::nothrow) CQuoteHandler(host));
  m_tsHandler.reset(new (std::nothrow) CTSHandler(host));
  m_l2Handler.reset(new (std::nothrow) CL2Handler(host));
  m_optionsHandler.reset(new (std::nothrow) COptionsHandler(host));
  ForEach([this](CHandler& handler) {
    for (char type : handler.MessageTypes()) m_typeMap[static_cast<unsigned char>(type)] = &handler;
  });
}

void CHandlerSet::Destroy() {
  auto destroy = [this](auto& handler) {
    if (!handler) return;
    for (char type : handler->MessageTypes()) {
      CHandler*& slot = m_typeMap[static_cast<unsigned char>(type)];
      if (slot == handler.get()) slot = nullptr;
    }
    handler.reset();
  };
  destroy(m_quoteHandler);
  destroy(m_tsHandler);
  destroy(m_l2Handler);
  destroy(m_optionsHandler);
}

bool CHandlerSet::Advise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags) {
  bool advised = true;
  ForEach([&](CHandler& handler) { advised &= handler.Advise(notify, symbol, serviceFlags); });
  return advised;
}

void CHandlerSet::Unadvise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags) {
  ForEach([&](CHandler& handler) { handler.Unadvise(notify, symbol, serviceFlags); });
}

void CHandlerSet::UnadviseAll(IVokQuotesNotify* notify) {
  ForEach([&](CHandler& handler) { handler.UnadviseAll(notify); });
}

void CHandlerSet::Resubscribe() {
  ForEach([](CHandler& handler) { handler.Resubscribe(); });
}

std::vector<SSymbolUpdate> CHandlerSet::LastUpdates() {
  std::vector<SSymbolUpdate> all;
  ForEach([&](CHandler& handler) { handler.LastUpdates(all); });
  return all;
}

void CHandlerSet::TestTick() {
  ForEach([](CHandler& handler) { handler.TestTick(); });
}

void CHandlerSet::Dispatch(const VOKMessage& message) {
  const int type = message.GetType();
  if (CHandler* handler = m_typeMap[static_cast<unsigned char>(type)])
    handler->OnMessage(static_cast<char>(type), message);
}
