// Windows backend of platform/interface_table.h: the system's global interface table.
#include "platform/interface_table.h"

#include <objbase.h>

#include "platform/com_ptr.h"

namespace vok {
namespace {

HRESULT Table(CComPtr<IGlobalInterfaceTable>& table) {
  return ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                            table.PutVoid());
}

}  // namespace

HRESULT RegisterInterfaceInGlobal(IUnknown* unknown, REFIID iid, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  CComPtr<IGlobalInterfaceTable> table;
  HRESULT hr = Table(table);
  return FAILED(hr) ? hr : table->RegisterInterfaceInGlobal(unknown, iid, cookie);
}

HRESULT RevokeInterfaceFromGlobal(DWORD cookie) {
  CComPtr<IGlobalInterfaceTable> table;
  HRESULT hr = Table(table);
  return FAILED(hr) ? hr : table->RevokeInterfaceFromGlobal(cookie);
}

HRESULT GetInterfaceFromGlobal(DWORD cookie, REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CComPtr<IGlobalInterfaceTable> table;
  HRESULT hr = Table(table);
  return FAILED(hr) ? hr : table->GetInterfaceFromGlobal(cookie, iid, ppv);
}

CComApartment::CComApartment(Model model) {
  const DWORD flags = model == kSingleThreaded ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
  m_joined = SUCCEEDED(::CoInitializeEx(nullptr, flags));
}

CComApartment::~CComApartment() {
  if (m_joined) ::CoUninitialize();
}

}  // namespace vok
