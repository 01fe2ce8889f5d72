// Linux backend of platform/interface_table.h: a locked map from cookie to a held reference.
#include "platform/interface_table.h"

#include <mutex>
#include <unordered_map>

#include "platform/com_ptr.h"

namespace vok {
namespace {

struct CTable {
  std::mutex lock;
  DWORD nextCookie = 1;                                  // guarded by lock
  std::unordered_map<DWORD, CComPtr<IUnknown>> entries;  // guarded by lock
};

CTable& Table() {
  // Leaked on purpose: sinks may be revoked by objects destroyed during static teardown.
  static CTable* table = new CTable;
  return *table;
}

}  // namespace

HRESULT RegisterInterfaceInGlobal(IUnknown* unknown, REFIID, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (unknown == nullptr) return E_INVALIDARG;
  CTable& table = Table();
  std::lock_guard lock(table.lock);
  DWORD id = table.nextCookie++;
  if (id == 0) id = table.nextCookie++;  // after 2^32 registrations
  table.entries.emplace(id, CComPtr<IUnknown>(unknown));
  *cookie = id;
  return S_OK;
}

HRESULT RevokeInterfaceFromGlobal(DWORD cookie) {
  CComPtr<IUnknown> released;  // released after the lock: a sink's destructor may call back in
  CTable& table = Table();
  std::lock_guard lock(table.lock);
  auto it = table.entries.find(cookie);
  if (it == table.entries.end()) return E_INVALIDARG;
  released = std::move(it->second);
  table.entries.erase(it);
  return S_OK;
}

HRESULT GetInterfaceFromGlobal(DWORD cookie, REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CComPtr<IUnknown> held;
  {
    CTable& table = Table();
    std::lock_guard lock(table.lock);
    auto it = table.entries.find(cookie);
    if (it == table.entries.end()) return E_INVALIDARG;
    held = it->second;
  }
  return held->QueryInterface(iid, ppv);
}

CComApartment::CComApartment(Model) : m_joined(true) {}
CComApartment::~CComApartment() = default;

}  // namespace vok
