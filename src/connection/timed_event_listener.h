// ITimedEventListener: what a CTimerQueue timer calls when it fires. The listener is called on a
// system timer thread with a reference held (AddRef before, Release after the call), so an
// implementation that counts references can tell whether a timer still uses it.
#pragma once

class CTimerQueueEvent;

class ITimedEventListener {
 public:
  virtual void OnTimedEvent(CTimerQueueEvent* event) = 0;
  virtual long AddRef() { return 0; }
  virtual long Release() { return 0; }

 protected:
  virtual ~ITimedEventListener() = default;
};
