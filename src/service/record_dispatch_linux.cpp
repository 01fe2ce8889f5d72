// Linux: no type library and no IRecordInfo; clients there read records through the vtable.
#include "service/record_dispatch.h"

namespace vok {

bool InvokeRecordMember(IVokQuotes*, DISPID, WORD, DISPPARAMS*, VARIANT*, UINT*, HRESULT&) { return false; }

}  // namespace vok
