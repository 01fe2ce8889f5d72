// The process-wide interface table through which event sinks are held. A sink registered by one
// thread is fetched by whichever thread fires the event, in that thread's own context: on Windows
// it is the system's global interface table, so a sink that lives in a single-threaded apartment
// is reached through a proxy into that apartment; Linux has no apartments, so the table holds a
// reference and hands out the sink itself.
#pragma once

#include "platform/com.h"

namespace vok {

// Registers `unknown` as interface `iid` (the pointer must be of that interface). The cookie is
// never 0 on success.
HRESULT RegisterInterfaceInGlobal(IUnknown* unknown, REFIID iid, DWORD* cookie);
HRESULT RevokeInterfaceFromGlobal(DWORD cookie);
// A new reference to the registered interface, valid on the calling thread.
HRESULT GetInterfaceFromGlobal(DWORD cookie, REFIID iid, void** ppv);

// Joins the calling thread to COM for its lifetime: single-threaded (an apartment whose objects
// are called back on this thread through its message loop) or multithreaded. Nothing on Linux.
class CComApartment {
 public:
  enum Model { kSingleThreaded, kMultiThreaded };
  explicit CComApartment(Model model);
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;
  ~CComApartment();
  bool Joined() const { return m_joined; }

 private:
  bool m_joined = false;
};

}  // namespace vok
