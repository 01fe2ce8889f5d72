// The one call an application makes to create the quote service object without going through the
// class registry: the Linux library's public entry, also exported by the Windows DLL. Declared with
// the library's other C calls in <vokquote/api.h>.
//
//   vok::CComPtr<IVokQuotes> quotes;
//   if (SUCCEEDED(VokQuotesCreate(IID_IVokQuotes, quotes.PutVoid()))) ...
#pragma once

#include <vokquote/api.h>

#include "records/vokquote.h"
