// Copies of the library's records that outlive its callback.
#include "binding_record.h"

#include <chrono>
#include <cstring>

namespace vok::py {
namespace {

std::u16string Text(BSTR text) { return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text)); }

}  // namespace

SBindingRecord SBindingRecord::From(const QUOTERECORD& rec) {
  SBindingRecord out;
  out.kind = ERecordKind::Quote;
  out.texts = {Text(rec.bstrSymbol), Text(rec.bstrMarket), Text(rec.bstrCompany), Text(rec.bstrUnderlier)};
  std::memcpy(&out.quote, &rec, sizeof rec);
  out.quote.bstrSymbol = out.quote.bstrMarket = out.quote.bstrCompany = out.quote.bstrUnderlier = nullptr;
  return out;
}

SBindingRecord SBindingRecord::From(const LEVEL2RECORD& rec) {
  SBindingRecord out;
  out.kind = ERecordKind::Level2;
  out.texts = {Text(rec.bstrSymbol), Text(rec.bstrMMID), Text(rec.bstrSource), {}};
  std::memcpy(&out.level2, &rec, sizeof rec);
  out.level2.bstrSymbol = out.level2.bstrMMID = out.level2.bstrSource = nullptr;
  return out;
}

SBindingRecord SBindingRecord::From(const TSRECORD& rec) {
  SBindingRecord out;
  out.kind = ERecordKind::Print;
  out.texts = {Text(rec.bstrSymbol), Text(rec.bstrExchange), {}, {}};
  std::memcpy(&out.print, &rec, sizeof rec);
  out.print.bstrSymbol = out.print.bstrExchange = nullptr;
  return out;
}

SBindingRecord SBindingRecord::From(const OPTIONSRECORD& rec) {
  SBindingRecord out;
  out.kind = ERecordKind::Option;
  out.texts = {Text(rec.bstrSymbol), Text(rec.bstrUnderlier), {}, {}};
  std::memcpy(&out.option, &rec, sizeof rec);
  out.option.bstrSymbol = out.option.bstrUnderlier = nullptr;
  return out;
}

SBindingRecord SBindingRecord::Event(EEventKind kind, std::int32_t code, std::string note) {
  SBindingRecord out;
  out.kind = ERecordKind::Event;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  out.event = SEventData{kind, code, std::chrono::duration_cast<std::chrono::milliseconds>(now).count()};
  out.note = std::move(note);
  return out;
}

std::u16string SBindingRecord::ConflationKey() const {
  switch (kind) {
    case ERecordKind::Quote:
    case ERecordKind::Option:
      return texts[0];
    case ERecordKind::Level2:
      // Symbols and market makers never hold a control character, so one separates them.
      return texts[0] + u'\x01' + texts[1] + u'\x01' + (level2.side == msBid ? u'B' : u'A');
    case ERecordKind::Print:
    case ERecordKind::Event:
      break;
  }
  return {};
}

}  // namespace vok::py
