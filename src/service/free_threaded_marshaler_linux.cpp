// Linux: no apartments, so no marshaler.
#include "service/free_threaded_marshaler.h"

namespace vok {

HRESULT CreateFreeThreadedMarshaler(IUnknown*, IUnknown** marshaler) {
  if (marshaler == nullptr) return E_POINTER;
  *marshaler = nullptr;
  return S_OK;
}

bool IsMarshalerInterface(REFIID) { return false; }

}  // namespace vok
