// IDispatch for the service object. Windows serves it from the VOKQUOTELib type library (the
// registered one, else the TYPELIB resource of the module that holds this code), so script hosts
// see exactly the type library's members. Linux, which has no type library loader, answers the
// names of IVokQuotes and invokes its members that take no argument.
#pragma once

#include "platform/com.h"
#include "records/vokquote.h"

namespace vok {

// The type information of IVokQuotes with a new reference; E_NOTIMPL where none exists.
HRESULT VokQuotesTypeInfo(ITypeInfo** out);
// Drops the cached type information (library unload).
void ReleaseVokQuotesTypeInfo();

HRESULT VokQuotesGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
HRESULT VokQuotesInvoke(IVokQuotes* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError);

}  // namespace vok
