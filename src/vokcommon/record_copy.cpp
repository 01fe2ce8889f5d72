// Deep copies of QUOTERECORD and OPTIONSRECORD: plain members by assignment, BSTRs duplicated.
#include "vokcommon/record_copy.h"

namespace {

BSTR Duplicate(BSTR text) { return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text)); }

// Frees the strings of target, copies every member, then duplicates the strings of source.
template <class Record, class... Strings>
void CopyRecord(Record* target, const Record* source, Strings... members) {
  if (target == nullptr || source == nullptr || target == source) return;
  (SysFreeString(target->*members), ...);
  *target = *source;
  ((target->*members = Duplicate(source->*members)), ...);
}

template <class Record, class... Strings>
void FreeStrings(Record& record, Strings... members) {
  ((SysFreeString(record.*members), record.*members = nullptr), ...);
}

}  // namespace

void SetQuoteRecord(QUOTERECORD*& target, const QUOTERECORD* source) {
  CopyRecord(target, source, &QUOTERECORD::bstrSymbol, &QUOTERECORD::bstrMarket, &QUOTERECORD::bstrCompany,
             &QUOTERECORD::bstrUnderlier);
}

void SetOptionsRecord(OPTIONSRECORD*& target, const OPTIONSRECORD* source) {
  CopyRecord(target, source, &OPTIONSRECORD::bstrSymbol, &OPTIONSRECORD::bstrUnderlier);
}

void FreeQuoteRecord(QUOTERECORD& record) {
  FreeStrings(record, &QUOTERECORD::bstrSymbol, &QUOTERECORD::bstrMarket, &QUOTERECORD::bstrCompany,
              &QUOTERECORD::bstrUnderlier);
}

void FreeOptionsRecord(OPTIONSRECORD& record) {
  FreeStrings(record, &OPTIONSRECORD::bstrSymbol, &OPTIONSRECORD::bstrUnderlier);
}
