// CHandler: the base of the four service handlers. So far it holds only what the dispatch queues
// need: the drain hands each work item back to the handler that made it, on the receiving thread.
#pragma once

class CThreadItem;

class CHandler {
 public:
  CHandler() = default;
  CHandler(const CHandler&) = delete;
  CHandler& operator=(const CHandler&) = delete;
  virtual ~CHandler() = default;

  // Runs on a subscribing thread from its drain, with no lock held; delivers the item's record to
  // that thread's callbacks for the symbol. The caller releases the item afterwards.
  virtual void OnThreadItem(CThreadItem* item) = 0;
};
