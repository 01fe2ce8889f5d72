/* vokquote::CConnectionEventSink: a ready-made sink for the service object's connection events
   (OnConnect, OnClose, OnLogonSucceed) that calls one function with the event's DISPID (in
   vok::dispid) and its code. Header only, C++17.

     auto sink = vokquote::CConnectionEventSink::Create([](DISPID event, long code) { ... });
     container->FindConnectionPoint(DIID__IVokQuotesEvents, point.Put());
     point->Advise(sink.Get(), &cookie);

   The component fires events on its own threads on Linux and in the client's apartment on
   Windows: the function must be safe to call there, and should hand the event on rather than work
   on it. An exception it throws is reported to the firing side as E_FAIL. */
#ifndef VOKQUOTE_EVENT_SINK_H
#define VOKQUOTE_EVENT_SINK_H

#include <vokquote/com_ptr.h>
#include <vokquote/records.h>

#include <atomic>
#include <functional>
#include <new>
#include <utility>

namespace vokquote {

class CConnectionEventSink final : public IDispatch {
 public:
  using Handler = std::function<void(DISPID event, long code)>;

  // Null when out of memory.
  static CComPtr<CConnectionEventSink> Create(Handler handler) {
    return CComPtr<CConnectionEventSink>(new (std::nothrow) CConnectionEventSink(std::move(handler)));
  }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDispatch) &&
        !IsEqualGUID(riid, DIID__IVokQuotesEvents)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;  // COM lifetime: the last reference owns the object
    return refs;
  }
  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (dispid != vok::dispid::OnConnect && dispid != vok::dispid::OnClose && dispid != vok::dispid::OnLogonSucceed) {
      return DISP_E_MEMBERNOTFOUND;
    }
    long code = 0;
    if (params != nullptr && params->cArgs >= 1 && params->rgvarg != nullptr && params->rgvarg[0].vt == VT_I4) {
      code = params->rgvarg[0].lVal;
    }
    try {
      m_handler(dispid, code);
    } catch (...) {
      return E_FAIL;
    }
    return S_OK;
  }

 private:
  explicit CConnectionEventSink(Handler handler) : m_handler(std::move(handler)) {}
  ~CConnectionEventSink() = default;

  std::atomic<ULONG> m_refs{0};
  const Handler m_handler;
};

}  // namespace vokquote

#endif /* VOKQUOTE_EVENT_SINK_H */
