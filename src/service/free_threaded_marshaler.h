// The free-threaded marshaler the service object aggregates, so that clients in every apartment
// get direct pointers to it (threading model "Both"). Linux has no apartments: nothing is created
// and no interface is answered.
#pragma once

#include "platform/com.h"

namespace vok {

// Creates the marshaler aggregated inside outer; *marshaler receives its inner unknown (null on
// Linux, where S_OK is returned).
HRESULT CreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler);
// True for the interfaces the marshaler answers for its outer object (IMarshal).
bool IsMarshalerInterface(REFIID riid);

}  // namespace vok
