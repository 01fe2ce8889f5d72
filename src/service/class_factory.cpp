// The class object of a creatable class: creation, aggregation rules and server locks.
#include "service/class_factory.h"

#include "service/com_guard.h"
#include "service/module_lock.h"

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  // The library owns the factory; a client's extra Release cannot free it.
  const ULONG refs = --m_refs;
  return refs == 0 ? ++m_refs : refs;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  // An aggregate can only be asked for its inner unknown; any other interface would escape the
  // outer object's identity.
  if (pUnkOuter != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  const HRESULT hr =
      vok::ComGuard("CClassFactory::CreateInstance", [&] { return m_creator(pUnkOuter, riid, ppvObject); });
  if (FAILED(hr)) *ppvObject = nullptr;
  return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    vok::ModuleLock();
  } else {
    vok::ModuleUnlock();
  }
  return S_OK;
}
