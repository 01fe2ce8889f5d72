// Conversion of the binding's records into the package's named tuples, through the C API: one
// tuple, one tuple-subclass instance and the field objects per record, no Python-level call.
#include "record_objects.h"

#include <datetime.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vok::py {
namespace {

namespace pyb = pybind11;

// Value -> member of one IntEnum; values outside the table become plain ints.
struct SEnumTable {
  std::vector<PyObject*> members;
};

// Set once at import with the interpreter lock held. The references are kept for the life of the
// process: the package's classes outlive every record made from them.
struct STypes {
  PyObject* quote = nullptr;
  PyObject* level2 = nullptr;
  PyObject* print = nullptr;
  PyObject* option = nullptr;
  PyObject* event = nullptr;
  SEnumTable tick, putCall, side, tickType, tickStatus, condition, eventKind;
};
STypes g_types;

constexpr int kMaxEnumValue = 1024;

PyObject* KeptClass(const pyb::kwargs& classes, const char* name) {
  if (!classes.contains(name)) throw pyb::value_error(std::string("missing record class ") + name);
  return pyb::object(classes[name]).release().ptr();
}

SEnumTable KeptEnum(const pyb::kwargs& classes, const char* name) {
  SEnumTable table;
  pyb::handle cls(KeptClass(classes, name));
  for (pyb::handle member : pyb::iter(cls.attr("__members__").attr("values")())) {
    const long value = pyb::int_(pyb::reinterpret_borrow<pyb::object>(member));
    if (value < 0 || value >= kMaxEnumValue) continue;
    if (table.members.size() <= static_cast<std::size_t>(value)) table.members.resize(value + 1, nullptr);
    table.members[value] = member.inc_ref().ptr();
  }
  return table;
}

PyObject* EnumValue(const SEnumTable& table, long value) {
  if (value >= 0 && static_cast<std::size_t>(value) < table.members.size() && table.members[value] != nullptr) {
    Py_INCREF(table.members[value]);
    return table.members[value];
  }
  return PyLong_FromLong(value);
}

PyObject* Text(const std::u16string& text) {
  int order = std::endian::native == std::endian::little ? -1 : 1;
  return PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text.data()),
                               static_cast<Py_ssize_t>(text.size() * sizeof(char16_t)), "replace", &order);
}

PyObject* Float(double value) { return PyFloat_FromDouble(value); }
PyObject* Int(long value) { return PyLong_FromLong(value); }

// An automation date (days since 1899-12-30, UTC here) as an aware datetime; None when unset or
// outside what datetime holds.
PyObject* Time(double date) {
  constexpr double kUnixEpoch = 25569.0;  // 1970-01-01
  constexpr double kLastDay = 2958466.0;  // 10000-01-01
  if (!(date > 0 && date < kLastDay)) Py_RETURN_NONE;
  const std::int64_t totalMs = std::llround((date - kUnixEpoch) * 86400000.0);
  std::int64_t days = totalMs / 86400000;
  std::int64_t msOfDay = totalMs % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    --days;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  if (year < 1 || year > 9999) Py_RETURN_NONE;
  const int seconds = static_cast<int>(msOfDay / 1000);
  return PyDateTimeAPI->DateTime_FromDateAndTime(year, month, day, seconds / 3600, seconds / 60 % 60, seconds % 60,
                                                 static_cast<int>(msOfDay % 1000) * 1000, PyDateTime_TimeZone_UTC,
                                                 PyDateTimeAPI->DateTimeType);
}

PyObject* TimeOfUnixMs(std::int64_t unixMs) { return Time(25569.0 + static_cast<double>(unixMs) / 86400000.0); }

// Fills a tuple of fixed size; a null item (a failed conversion) leaves its slot empty and fails
// the record.
class CFields {
 public:
  explicit CFields(Py_ssize_t size) : m_tuple(pyb::reinterpret_steal<pyb::object>(PyTuple_New(size))) {
    if (!m_tuple) throw pyb::error_already_set();
  }
  CFields& operator<<(PyObject* item) {
    if (item == nullptr) {
      m_failed = true;
    } else {
      PyTuple_SET_ITEM(m_tuple.ptr(), m_next, item);
    }
    ++m_next;
    return *this;
  }
  // An instance of cls (a tuple subclass) holding the fields.
  pyb::object As(PyObject* cls) {
    if (cls == nullptr) throw pyb::type_error("the record classes are not configured");
    if (m_failed) throw pyb::error_already_set();
    pyb::object args = pyb::reinterpret_steal<pyb::object>(PyTuple_Pack(1, m_tuple.ptr()));
    if (!args) throw pyb::error_already_set();
    PyObject* made = PyTuple_Type.tp_new(reinterpret_cast<PyTypeObject*>(cls), args.ptr(), nullptr);
    if (made == nullptr) throw pyb::error_already_set();
    return pyb::reinterpret_steal<pyb::object>(made);
  }

 private:
  pyb::object m_tuple;
  Py_ssize_t m_next = 0;
  bool m_failed = false;
};

}  // namespace

void Configure(const pyb::kwargs& classes) {
  PyDateTime_IMPORT;
  if (PyDateTimeAPI == nullptr) throw pyb::error_already_set();
  g_types.quote = KeptClass(classes, "Quote");
  g_types.level2 = KeptClass(classes, "Level2");
  g_types.print = KeptClass(classes, "Print");
  g_types.option = KeptClass(classes, "Option");
  g_types.event = KeptClass(classes, "ConnectionEvent");
  g_types.tick = KeptEnum(classes, "Tick");
  g_types.putCall = KeptEnum(classes, "PutCall");
  g_types.side = KeptEnum(classes, "MarketSide");
  g_types.tickType = KeptEnum(classes, "TickType");
  g_types.tickStatus = KeptEnum(classes, "TickStatus");
  g_types.condition = KeptEnum(classes, "TickCondition");
  g_types.eventKind = KeptEnum(classes, "EventKind");
}

pyb::object ToPython(const SBindingRecord& r) {
  const auto& t = r.texts;
  switch (r.kind) {
    case ERecordKind::Quote: {
      const QUOTERECORD& q = r.quote;
      CFields f(25);
      f << Text(t[0]) << Text(t[1]) << Text(t[2]) << Text(t[3]) << Float(q.dLast) << Float(q.dBid) << Float(q.dAsk)
        << Float(q.dPrevClose) << Float(q.dHigh) << Float(q.dLow) << Float(q.dOpen) << Float(q.dMarginMult)
        << Float(q.dStrikePrice) << Int(q.lBidSize) << Int(q.lAskSize) << Int(q.lLastSize) << Int(q.lVolume)
        << Int(q.lFlags) << Int(q.lContractSize) << Int(q.lExpMonth) << Int(q.lExpYear) << Time(q.UTCDateTime)
        << EnumValue(g_types.tick, q.tick) << EnumValue(g_types.putCall, q.putcall) << Float(q.dNegBorrowPct);
      return f.As(g_types.quote);
    }
    case ERecordKind::Level2: {
      const LEVEL2RECORD& l = r.level2;
      CFields f(8);
      f << Text(t[0]) << Text(t[1]) << Text(t[2]) << Int(l.lSize) << Float(l.dPrice) << EnumValue(g_types.side, l.side)
        << PyBool_FromLong(l.bClosed != VARIANT_FALSE) << Time(l.UTCTime);
      return f.As(g_types.level2);
    }
    case ERecordKind::Print: {
      const TSRECORD& p = r.print;
      CFields f(10);
      f << Text(t[0]) << Text(t[1]) << Float(p.dPrice) << Int(p.lSize) << Int(p.lType) << Time(p.UTCDateTime)
        << EnumValue(g_types.tickType, p.type) << EnumValue(g_types.tickStatus, p.status)
        << EnumValue(g_types.condition, p.cond) << EnumValue(g_types.tick, p.tick);
      return f.As(g_types.print);
    }
    case ERecordKind::Option: {
      const OPTIONSRECORD& o = r.option;
      CFields f(20);
      f << Text(t[0]) << Text(t[1]) << Float(o.dLast) << Float(o.dBid) << Float(o.dAsk) << Float(o.dPrevClose)
        << Float(o.dHigh) << Float(o.dLow) << Float(o.dOpen) << Float(o.dStrikePrice) << Int(o.lBidSize)
        << Int(o.lAskSize) << Int(o.lLastSize) << Int(o.lVolume) << Int(o.lExpMonth) << Int(o.lExpYear)
        << Int(o.lOpenInterest) << Time(o.UTCDateTime) << EnumValue(g_types.tick, o.tick)
        << EnumValue(g_types.putCall, o.putcall);
      return f.As(g_types.option);
    }
    case ERecordKind::Event: {
      CFields f(4);
      f << EnumValue(g_types.eventKind, static_cast<long>(r.event.kind)) << Int(r.event.code)
        << TimeOfUnixMs(r.event.unixMs)
        << PyUnicode_DecodeUTF8(r.note.data(), static_cast<Py_ssize_t>(r.note.size()), "replace");
      return f.As(g_types.event);
    }
  }
  return pyb::none();
}

}  // namespace vok::py
