// The suite message service on Windows: the suite's COM class, created by CLSID in any context.
// Its application object hands out the message service (vtable slot 15), whose first method
// shows a text with a kind, a category and a delay.
#include <windows.h>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "service/suite_message_service.h"

namespace {

// {5E0F6D21-8B7A-4C1E-9D43-2A6B1C7F0E58}
constexpr CLSID kClsidSuiteApp = {0x5E0F6D21, 0x8B7A, 0x4C1E, {0x9D, 0x43, 0x2A, 0x6B, 0x1C, 0x7F, 0x0E, 0x58}};
// {5E0F6D22-8B7A-4C1E-9D43-2A6B1C7F0E58}
constexpr IID kIidSuiteApp = {0x5E0F6D22, 0x8B7A, 0x4C1E, {0x9D, 0x43, 0x2A, 0x6B, 0x1C, 0x7F, 0x0E, 0x58}};
// {5E0F6D23-8B7A-4C1E-9D43-2A6B1C7F0E58}
constexpr IID kIidSuiteMessages = {0x5E0F6D23, 0x8B7A, 0x4C1E, {0x9D, 0x43, 0x2A, 0x6B, 0x1C, 0x7F, 0x0E, 0x58}};

constexpr LONG kMessageKind = 30015;
constexpr LONG kMessageCategory = 30001;

// The suite's application interface: a dual interface whose ninth own method returns the
// message service (slot 15 counting IUnknown and IDispatch).
struct ISuiteApp : IDispatch {
  STDMETHOD(Reserved7)() PURE;
  STDMETHOD(Reserved8)() PURE;
  STDMETHOD(Reserved9)() PURE;
  STDMETHOD(Reserved10)() PURE;
  STDMETHOD(Reserved11)() PURE;
  STDMETHOD(Reserved12)() PURE;
  STDMETHOD(Reserved13)() PURE;
  STDMETHOD(Reserved14)() PURE;
  STDMETHOD(GetMessageService)(IUnknown** service) PURE;
};

struct ISuiteMessages : IUnknown {
  STDMETHOD(ShowMessage)(BSTR text, LONG kind, LONG category, double delay) PURE;
};

}  // namespace

namespace vok {

bool ShowSuiteMessage(const std::string& text) {
  CComPtr<ISuiteApp> app;
  if (FAILED(CoCreateInstance(kClsidSuiteApp, nullptr, CLSCTX_ALL, kIidSuiteApp, app.PutVoid())) || !app) return false;
  CComPtr<IUnknown> service;
  if (FAILED(app->GetMessageService(service.Put())) || !service) return false;
  CComPtr<ISuiteMessages> messages;
  if (FAILED(service.QueryInterface(kIidSuiteMessages, messages)) || !messages) return false;
  CBstr bstr = CBstr::FromNarrow(text);
  messages->ShowMessage(bstr.Get(), kMessageKind, kMessageCategory, 0.0);
  return true;
}

void SetSuiteMessageHandler(std::function<void(const std::string&)>) {}

}  // namespace vok
