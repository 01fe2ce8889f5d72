// Deep copies of the public records: the handlers copy a cached record into each work item and
// into the caller's record of GetCachedQuote, and every copy must own its own strings.
#pragma once

#include "records/vokquote.h"

// Copies *source into *target, duplicating the text members. The strings target held before are
// freed, so target must hold null strings or strings it owns. Nothing happens when either pointer
// is null. On an allocation failure a text member of the copy is null.
void SetQuoteRecord(QUOTERECORD*& target, const QUOTERECORD* source);
void SetOptionsRecord(OPTIONSRECORD*& target, const OPTIONSRECORD* source);

// Frees the text members of a record this code owns and sets them to null.
void FreeQuoteRecord(QUOTERECORD& record);
void FreeOptionsRecord(OPTIONSRECORD& record);
