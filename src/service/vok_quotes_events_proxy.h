// CProxy_IVokQuotesEvents: the connection point of the service object's connection events
// (OnConnect, OnClose, OnLogonSucceed), with one fire operation per event. Any thread may fire.
#pragma once

#include "records/vokquote.h"
#include "service/connection_point.h"

class CProxy_IVokQuotesEvents : public CConnectionPointImplMT {
 public:
  CProxy_IVokQuotesEvents(IUnknown* outer, IConnectionPointContainer* container, const std::atomic<bool>& shuttingDown)
      : CConnectionPointImplMT(outer, container, DIID__IVokQuotesEvents, shuttingDown) {}

  void Fire_OnConnect(LONG lErrorCode) { FireWithCode(vok::dispid::OnConnect, lErrorCode); }
  void Fire_OnClose(LONG lErrorCode) { FireWithCode(vok::dispid::OnClose, lErrorCode); }
  void Fire_OnLogonSucceed() {
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    FireEvent(vok::dispid::OnLogonSucceed, &params);
  }

 private:
  void FireWithCode(DISPID dispid, LONG code) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = code;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    FireEvent(dispid, &params);
    VariantClear(&arg);
  }
};
