// Records as Python sees them: immutable named tuples of the package's record classes, with
// enumerations as its IntEnum members and times as timezone-aware UTC datetimes. The package hands
// its classes over once at import (Configure); conversion needs the interpreter lock.
#pragma once

#include <pybind11/pybind11.h>

#include "binding_record.h"

namespace vok::py {

// kwargs: the record classes Quote, Level2, Print, Option, ConnectionEvent and the enumerations
// Tick, PutCall, MarketSide, TickType, TickStatus, TickCondition, EventKind.
void Configure(const pybind11::kwargs& classes);
pybind11::object ToPython(const SBindingRecord& record);

}  // namespace vok::py
