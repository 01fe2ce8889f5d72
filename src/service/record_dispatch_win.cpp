// Windows: the record members invoked by hand, their records described by the type library.
#include "service/record_dispatch.h"

#include <windows.h>

#include "platform/com_ptr.h"
#include "service/type_library.h"

namespace vok {
namespace {

struct SRecordMember {
  DISPID id;
  const GUID* record;
  UINT inputs;  // symbol, and for GetSingleQuote the time-out
};

constexpr SRecordMember kMembers[] = {
    {dispid::GetCachedQuote, &GUID_QUOTERECORD, 1},
    {dispid::GetCachedOptionsRecord, &GUID_OPTIONSRECORD, 1},
    {dispid::GetSingleQuote, &GUID_QUOTERECORD, 2},
};

// Owns a VARIANT and clears it.
class CVariant {
 public:
  CVariant() { ::VariantInit(&m_value); }
  ~CVariant() { ::VariantClear(&m_value); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;
  VARIANT* Get() { return &m_value; }

 private:
  VARIANT m_value;
};

// Converts argument `position` (counted from the last, as DISPPARAMS stores them) to type.
HRESULT ReadArgument(DISPPARAMS* params, UINT position, VARTYPE type, CVariant& out, UINT* argError) {
  const HRESULT hr = ::VariantChangeType(out.Get(), &params->rgvarg[position], 0, type);
  if (FAILED(hr) && argError != nullptr) *argError = position;
  return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT CallMember(IVokQuotes* object, DISPID member, BSTR symbol, LONG timeout, void* record) {
  switch (member) {
    case dispid::GetCachedQuote:
      return object->GetCachedQuote(symbol, static_cast<QUOTERECORD*>(record));
    case dispid::GetCachedOptionsRecord:
      return object->GetCachedOptionsRecord(symbol, static_cast<OPTIONSRECORD*>(record));
    default:
      return object->GetSingleQuote(symbol, timeout, static_cast<QUOTERECORD*>(record));
  }
}

// The caller's own record argument: it must describe the member's record type.
HRESULT CallerRecord(VARIANT& arg, const GUID& expected, void*& record, IRecordInfo*& info) {
  if ((arg.vt & ~VT_BYREF) != VT_RECORD || arg.pvRecord == nullptr || arg.pRecInfo == nullptr) {
    return DISP_E_TYPEMISMATCH;
  }
  GUID actual{};
  if (FAILED(arg.pRecInfo->GetGuid(&actual)) || actual != expected) return DISP_E_TYPEMISMATCH;
  record = arg.pvRecord;
  info = arg.pRecInfo;
  return S_OK;
}

HRESULT Invoke(IVokQuotes* object, const SRecordMember& member, WORD flags, DISPPARAMS* params, VARIANT* result,
               UINT* argError) {
  if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != member.inputs && params->cArgs != member.inputs + 1) return DISP_E_BADPARAMCOUNT;
  const bool recordGiven = params->cArgs == member.inputs + 1;
  // Arguments are stored last first: the symbol is the highest index.
  CVariant symbol;
  HRESULT hr = ReadArgument(params, params->cArgs - 1, VT_BSTR, symbol, argError);
  if (FAILED(hr)) return hr;
  CVariant timeout;
  if (member.inputs == 2) {
    hr = ReadArgument(params, params->cArgs - 2, VT_I4, timeout, argError);
    if (FAILED(hr)) return hr;
  }
  const LONG timeoutMs = member.inputs == 2 ? timeout.Get()->lVal : 0;

  if (recordGiven) {
    void* record = nullptr;
    IRecordInfo* info = nullptr;
    hr = CallerRecord(params->rgvarg[0], *member.record, record, info);
    if (FAILED(hr)) {
      if (argError != nullptr) *argError = 0;
      return hr;
    }
    // What the caller's record held is released before the member clears and fills it.
    info->RecordClear(record);
    hr = CallMember(object, member.id, symbol.Get()->bstrVal, timeoutMs, record);
    if (result != nullptr) ::VariantInit(result);
    return hr;
  }

  CComPtr<ITypeInfo> typeInfo;
  hr = LibraryTypeInfo(*member.record, typeInfo.Put());
  if (FAILED(hr)) return hr;
  CComPtr<IRecordInfo> info;
  hr = ::GetRecordInfoFromTypeInfo(typeInfo.Get(), info.Put());
  if (FAILED(hr)) return hr;
  void* record = info->RecordCreate();
  if (record == nullptr) return E_OUTOFMEMORY;
  hr = CallMember(object, member.id, symbol.Get()->bstrVal, timeoutMs, record);
  if (FAILED(hr) || result == nullptr) {
    info->RecordDestroy(record);
    return hr;
  }
  ::VariantInit(result);
  result->vt = VT_RECORD;
  result->pvRecord = record;
  result->pRecInfo = info.Detach();
  return S_OK;
}

}  // namespace

bool InvokeRecordMember(IVokQuotes* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                        UINT* argError, HRESULT& hr) {
  for (const SRecordMember& candidate : kMembers) {
    if (candidate.id != member) continue;
    hr = Invoke(object, candidate, flags, params, result, argError);
    return true;
  }
  return false;
}

}  // namespace vok
