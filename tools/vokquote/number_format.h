// Number texts of the full-screen views: prices with two decimals (four when a price needs them),
// signed changes, and sizes with thousands separators.
#pragma once

#include <cstdint>
#include <string>

namespace vok::cli {

std::string FormatPrice(double value);
std::string FormatChange(double value);      // "+0.52", "-1.25", "0.00"
std::string FormatSize(std::int64_t value);  // "1,234,567"

}  // namespace vok::cli
