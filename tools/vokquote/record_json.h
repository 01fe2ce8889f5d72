// The JSON line of each record and connection event: the record's own field names as keys, in
// record order, after "kind" (quote, level2, ts, options, event) and "received" (when the line was
// produced, UTC). Null strings are null, dates are ISO 8601 texts in UTC, enumerations numbers
// followed by their names ("side":1,"sideName":"bid").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "client_api.h"

namespace vok::cli {

std::string QuoteJson(const QUOTERECORD& rec, std::int64_t receivedMs);
// aggregate: the cached size of the entry's price level on its side, when known.
std::string Level2Json(const LEVEL2RECORD& rec, std::int64_t receivedMs, std::optional<long> aggregate = {});
std::string TsJson(const TSRECORD& rec, std::int64_t receivedMs);
std::string OptionsJson(const OPTIONSRECORD& rec, std::int64_t receivedMs);
// A connection event by its interface name (OnConnect, OnClose, OnLogonSucceed); events without an
// error code pass none.
// text: the server's words (the "logged in elsewhere" notice).
std::string EventJson(std::string_view event, std::optional<long> errorCode, std::int64_t receivedMs,
                      std::optional<std::string_view> text = {});

}  // namespace vok::cli
