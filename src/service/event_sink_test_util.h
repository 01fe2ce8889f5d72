// A test event sink: an IDispatch answering the events dispinterface that records each Invoke
// (the DISPID, the first argument and the thread it ran on), and can be told to fail. It lives on
// the test's stack, so its count never deletes it.
#pragma once

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/com.h"
#include "platform/thread.h"
#include "records/vokquote.h"

class CTestEventSink final : public IDispatch {
 public:
  struct CCall {
    DISPID dispid;
    LONG arg;  // -12345 when the event has no argument
    vok::ThreadId thread;
    int order;  // position among the calls of all sinks sharing the sequence
  };

  explicit CTestEventSink(std::atomic<int>* sequence = nullptr, bool fail = false)
      : m_sequence(sequence), m_fail(fail) {}

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID__IVokQuotesEvents) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }  // lives on the test's stack
  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    LONG arg = -12345;
    if (params != nullptr && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) arg = params->rgvarg[0].lVal;
    std::lock_guard lock(m_mutex);
    m_calls.push_back({dispid, arg, vok::CurrentThreadId(), m_sequence ? m_sequence->fetch_add(1) : -1});
    return m_fail ? E_FAIL : S_OK;
  }

  std::vector<CCall> Calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  bool Has(DISPID dispid, LONG arg) {
    const auto calls = Calls();
    return std::any_of(calls.begin(), calls.end(), [&](const CCall& c) { return c.dispid == dispid && c.arg == arg; });
  }
  ULONG Refs() const { return m_refs; }

 private:
  std::atomic<int>* m_sequence;
  const bool m_fail;
  std::atomic<ULONG> m_refs{0};
  std::mutex m_mutex;
  std::vector<CCall> m_calls;
};
