// CClassFactory: the class object that DllGetClassObject hands out for one creatable class. It
// creates objects through the class's creator (plain, or aggregated inside an outer unknown) and
// counts LockServer calls in the module lock count. The library keeps one factory per class for
// its whole life, so the factory's own references do not hold the module.
#pragma once

#include <atomic>

#include "platform/com.h"

class CClassFactory final : public IClassFactory {
 public:
  // Creates an object; outer is null for a plain object, else the controlling unknown of an
  // aggregate (riid is then IID_IUnknown and *ppv receives the inner, non-delegating unknown).
  using Creator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

  explicit CClassFactory(Creator creator) : m_creator(creator) {}
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  STDMETHOD(LockServer)(BOOL fLock) override;

 private:
  const Creator m_creator;
  std::atomic<ULONG> m_refs{1};  // the library's own reference; never reaches 0
};
