// vok::ComGuard: the one exception barrier of every method the library exports through COM. The
// body runs as a lambda; whatever it throws ends here as an HRESULT, so no exception ever crosses
// the interface boundary: std::bad_alloc becomes E_OUTOFMEMORY, anything else E_UNEXPECTED with a
// level 5 trace naming the method. Out-parameters are cleared before the guarded body runs.
#pragma once

#include <new>

#include "platform/com.h"

namespace vok {

// Traces the failure of `method`. Only the fixed method name is written: an exception's own
// text may carry anything its thrower put there, the logon password included.
void TraceUnexpectedException(const char* method) noexcept;

template <class Body>
HRESULT ComGuard(const char* method, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    TraceUnexpectedException(method);
    return E_UNEXPECTED;
  }
}

}  // namespace vok
