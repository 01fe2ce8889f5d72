// Late-bound calls of the three IVokQuotes members that return a record (GetCachedQuote,
// GetCachedOptionsRecord, GetSingleQuote). Script hosts and VB's "As Object" reach them only
// through IDispatch::Invoke, and a type-information invoke that cannot marshal records fails
// them; so the service object's Invoke answers them itself, with the record described by the
// type library's IRecordInfo: returned as VT_RECORD in the result, or filled in place when the
// caller passes a record (VT_RECORD, by reference or not) as an extra last argument.
#pragma once

#include "platform/com.h"
#include "records/vokquote.h"

namespace vok {

// False when member is not one of the three (the caller then invokes through the type
// information); otherwise true with the call's HRESULT in hr.
bool InvokeRecordMember(IVokQuotes* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                        UINT* argError, HRESULT& hr);

}  // namespace vok
