// CTSHandler: the time and sales service. Each '3' message is one print (a trade, or a bid or ask
// tick) handed to the subscribers of the symbol as one TSRECORD. Nothing is cached, so a new
// subscriber sees only prints that arrive after it subscribed.
// Threads and locks as in CHandler: OnMessage runs on the dispatcher under m_lock (which guards
// only the subscription bookkeeping here); OnThreadItem runs on the subscribing thread without it.
#pragma once

#include "handlers/handler.h"

class CTSHandler final : public CHandler {
 public:
  explicit CTSHandler(IHandlerHost* host);
  ~CTSHandler() override { CloseDelivery(); }

  void OnMessage(char type, const VOKMessage& message) override;
  void OnThreadItem(CThreadItem* item) override;

 protected:
  CNotifyList* CreateNotifyList() override;
  CMasterRecord* CreateMasterRecord() override;
};
