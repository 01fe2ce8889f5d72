// C-library number reading on character ranges; see number_text.h. Plain forms are read
// directly; rare forms fall back to the C library on a NUL-terminated copy.
#include "message/number_text.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <string>

namespace vok::message {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int ReadInt(const char* begin, const char* end) {
  int value = 0;
  ReadInt32Exact(begin, end, value);
  return value;
}

bool ReadInt32Exact(const char* begin, const char* end, int& value) {
  // Fast path for what the wire carries: an optional '-' and up to nine digits, nothing else.
  {
    const char* q = begin;
    const bool negative = q < end && *q == '-';
    if (negative) ++q;
    const std::ptrdiff_t digits = end - q;
    if (digits >= 1 && digits <= 9) {
      int magnitude = 0;
      for (; q < end && static_cast<unsigned>(*q - '0') <= 9; ++q) magnitude = magnitude * 10 + (*q - '0');
      if (q == end) {
        value = negative ? -magnitude : magnitude;
        return true;
      }
    }
  }
  const char* p = begin;
  while (p < end && IsSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = (*p++ == '-');
  std::int64_t magnitude = 0;
  bool overflow = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    if (!overflow) {
      magnitude = magnitude * 10 + (*p - '0');
      if (magnitude > std::int64_t{INT_MAX} + 1) overflow = true;
    }
  }
  std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (overflow || signedValue > INT_MAX || signedValue < INT_MIN) {
    value = negative ? INT_MIN : INT_MAX;
    return false;
  }
  value = static_cast<int>(signedValue);
  return value != INT_MAX && value != INT_MIN;
}

std::uint64_t ReadUInt64(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && IsSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = (*p++ == '-');
  std::uint64_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    const std::uint64_t digit = static_cast<std::uint64_t>(*p - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    value = value * 10 + digit;
  }
  return negative ? (~value + 1) : value;
}

namespace {

// Plain decimals with at most 15 significant digits ("412.35", "-0.25", ".5"): the digits as an
// integer are exact in a double and so is the power of ten, so one division gives the correctly
// rounded value, the same as strtod's.
bool ReadSimpleDecimal(const char* p, const char* end, double& value) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  if (p == end || end - p > 16) return false;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int fraction = -1;
  for (; p < end; ++p) {
    if (static_cast<unsigned>(*p - '0') <= 9) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++digits;
      if (fraction >= 0) ++fraction;
    } else if (*p == '.' && fraction < 0) {
      fraction = 0;
    } else {
      return false;
    }
  }
  if (digits == 0 || digits > 15) return false;
  value = static_cast<double>(mantissa);
  if (fraction > 0) value /= kPowers[fraction];
  if (negative) value = -value;
  return true;
}

}  // namespace

double ReadDouble(const char* begin, const char* end) {
  double simple = 0.0;
  if (ReadSimpleDecimal(begin, end, simple)) return simple;
  const char* p = begin;
  while (p < end && IsSpace(*p)) ++p;
  bool negative = false;
  const char* digits = p;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = (*p == '-');
    digits = p + 1;
  }
  double value = 0.0;
  // from_chars reads the plain decimal forms the wire carries without locale or allocation.
  if (digits < end && ((*digits >= '0' && *digits <= '9') || *digits == '.')) {
    const bool hex = digits + 1 < end && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    if (!hex) {
      auto [ptr, ec] = std::from_chars(digits, end, value, std::chars_format::general);
      if (ec == std::errc()) return negative ? -value : value;
      if (ec == std::errc::result_out_of_range) {
        // from_chars leaves value untouched on overflow or underflow; strtod decides.
      } else {
        return 0.0;
      }
    }
  }
  // Rare forms (hexadecimal, inf, nan, out of range): hand a NUL-terminated copy to strtod.
  std::string copy(p, end);
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace vok::message
