// The one call an application makes to create the quote service object without going through the
// class registry: the Linux library's public entry, also exported by the Windows DLL.
//
//   vok::CComPtr<IVokQuotes> quotes;
//   if (SUCCEEDED(VokQuotesCreate(IID_IVokQuotes, quotes.PutVoid()))) ...
#pragma once

#include "records/vokquote.h"

extern "C" HRESULT VokQuotesCreate(REFIID riid, void** object);
