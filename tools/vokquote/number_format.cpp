// Number texts of the full-screen views.
#include "number_format.h"

#include <cmath>
#include <cstdio>

namespace vok::cli {

std::string FormatPrice(double value) {
  if (!std::isfinite(value)) return "-";
  char text[48];
  const double cents = value * 100;
  const bool twoDecimals = std::fabs(cents - std::round(cents)) < 1e-6;
  std::snprintf(text, sizeof text, twoDecimals ? "%.2f" : "%.4f", value);
  return text;
}

std::string FormatChange(double value) {
  if (!std::isfinite(value)) return "-";
  if (std::fabs(value) < 0.00005) return "0.00";
  const std::string price = FormatPrice(value);
  return value > 0 ? "+" + price : price;
}

std::string FormatSize(std::int64_t value) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -(value + 1) + 1ULL : static_cast<unsigned long long>(value));
  std::string out;
  const std::size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  out.append(digits, 0, first);
  for (std::size_t i = first; i < digits.size(); i += 3) {
    out += ',';
    out.append(digits, i, 3);
  }
  return negative ? "-" + out : out;
}

}  // namespace vok::cli
