// Tests of the class factory: creation through the creator, the aggregation rule, null and
// throwing cases. Server locks are seen through DllCanUnloadNow in the library's client test.
#include "service/class_factory.h"

#include <gtest/gtest.h>

#include <new>

namespace {

// An object that counts itself, for the factory tests.
class CCounted final : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown ? this : nullptr;
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }

 private:
  ULONG m_refs = 0;
};

int g_creatorCalls = 0;
IUnknown* g_lastOuter = nullptr;

HRESULT CreateCounted(IUnknown* outer, REFIID riid, void** ppv) {
  ++g_creatorCalls;
  g_lastOuter = outer;
  auto* object = new CCounted();
  object->AddRef();
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

HRESULT CreateThrowing(IUnknown*, REFIID, void** ppv) {
  *ppv = reinterpret_cast<void*>(1);
  throw std::bad_alloc();
}

TEST(ClassFactory, CreatesThroughItsCreatorAndOnlyAggregatesAsTheInnerUnknown) {
  CClassFactory factory(&CreateCounted);
  CCounted outer;
  outer.AddRef();
  g_creatorCalls = 0;

  struct Row {
    IUnknown* outer;
    IID iid;
    HRESULT expected;
    int calls;
  } rows[] = {
      {nullptr, IID_IUnknown, S_OK, 1},
      {nullptr, IID_IDispatch, E_NOINTERFACE, 1},
      {&outer, IID_IDispatch, CLASS_E_NOAGGREGATION, 0},
      {&outer, IID_IUnknown, S_OK, 1},
  };
  for (const Row& row : rows) {
    g_creatorCalls = 0;
    g_lastOuter = nullptr;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory.CreateInstance(row.outer, row.iid, &object), row.expected);
    EXPECT_EQ(g_creatorCalls, row.calls);
    if (row.calls > 0) {
      EXPECT_EQ(g_lastOuter, row.outer);
    }
    if (SUCCEEDED(row.expected)) {
      ASSERT_NE(object, nullptr);
      static_cast<IUnknown*>(object)->Release();
    } else {
      EXPECT_EQ(object, nullptr);
    }
  }
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

  CClassFactory throwing(&CreateThrowing);
  void* object = nullptr;
  EXPECT_EQ(throwing.CreateInstance(nullptr, IID_IUnknown, &object), E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
}

}  // namespace
