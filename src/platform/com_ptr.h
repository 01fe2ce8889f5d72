// vok::CComPtr<T>: the owning smart pointer for COM interfaces on both platforms, the same one the
// public headers give every C++ client (<vokquote/com_ptr.h>). It holds one reference, releases it
// on destruction, and hands out Put() for the T** out-parameters of COM calls.
#pragma once

#include <vokquote/com_ptr.h>

#include "platform/com.h"

namespace vok {

using ::vokquote::CComPtr;

}  // namespace vok
