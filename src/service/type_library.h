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

// Any type of the library by its GUID (records, the settings interface), with a new reference;
// E_NOTIMPL where no type library exists.
HRESULT LibraryTypeInfo(REFGUID guid, ITypeInfo** out);
// IDispatch of another dual interface of the library, driven by its type information.
HRESULT LibraryGetIDsOfNames(REFGUID iid, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT LibraryInvoke(REFGUID iid, void* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError);

HRESULT VokQuotesGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
HRESULT VokQuotesInvoke(IVokQuotes* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError);

}  // namespace vok
