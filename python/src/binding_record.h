// SBindingRecord: one record or connection event as the binding keeps it between the library's
// callback and Python: the library's record struct with its strings copied out (the callback's
// BSTRs belong to the library and live only during the call), so it can wait in a queue.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <vokquote/records.h>

namespace vok::py {

enum class ERecordKind : std::uint8_t { Quote, Level2, Print, Option, Event };

// What a connection event says; the values are those of the Python EventKind enumeration.
enum class EEventKind : std::int32_t { Connect = 0, Close = 1, LogonSucceed = 2, Notice = 3 };

struct SEventData {
  EEventKind kind;
  std::int32_t code;    // Connect: the system's error number, 0 when the connection was made
  std::int64_t unixMs;  // when the binding heard of it
};

struct SBindingRecord {
  ERecordKind kind = ERecordKind::Event;
  // The record's strings as UTF-16, in the order of its struct: quote symbol, market, company,
  // underlier; level 2 symbol, MMID, source; print symbol, exchange; option symbol, underlier.
  std::array<std::u16string, 4> texts;
  std::string note;  // an event's text (UTF-8): the server's notice
  union {
    QUOTERECORD quote;  // BSTR members null: the texts hold them
    LEVEL2RECORD level2;
    TSRECORD print;
    OPTIONSRECORD option;
    SEventData event;
  };

  SBindingRecord() : event{} {}
  static SBindingRecord From(const QUOTERECORD& rec);
  static SBindingRecord From(const LEVEL2RECORD& rec);
  static SBindingRecord From(const TSRECORD& rec);
  static SBindingRecord From(const OPTIONSRECORD& rec);
  static SBindingRecord Event(EEventKind kind, std::int32_t code, std::string note = {});

  // The key under which a newer record replaces this one while a consumer lags; empty for prints
  // and events, which are never replaced.
  std::u16string ConflationKey() const;
};

}  // namespace vok::py
