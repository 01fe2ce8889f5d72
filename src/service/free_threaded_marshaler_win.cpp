// The system's free-threaded marshaler.
#include "service/free_threaded_marshaler.h"

namespace vok {

HRESULT CreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler) {
  if (marshaler == nullptr) return E_POINTER;
  *marshaler = nullptr;
  return ::CoCreateFreeThreadedMarshaler(outer, marshaler);
}

bool IsMarshalerInterface(REFIID riid) { return riid == IID_IMarshal; }

}  // namespace vok
