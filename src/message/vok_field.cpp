// Storage and conversions of one typed field value; see vok_field.h. Conversions follow the C
// library's rules (atoi, atof, _strtoui64) with out-of-range values clamped instead of undefined.
#include "message/vok_field.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "message/number_text.h"
#include "message/vok_group.h"

using namespace vok::message;

namespace {

int DoubleToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<int>(value);
}

std::uint64_t DoubleToUInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 18446744073709551616.0) return UINT64_MAX;
  if (value < 0) {
    if (value <= -9223372036854775808.0) return static_cast<std::uint64_t>(INT64_MIN);
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
  }
  return static_cast<std::uint64_t>(value);
}

// The text of a value below 2^24 in hundred-millionths, when they can be known without the exact
// decimal expansion; returns its length, or 0 when the general path must decide.
int FormatDoubleInUnits(double value, char* buffer) {
  // Below 2^24 the product is below 2^51, so it is within 1/8 of the exact one: a product less
  // than 1/4 from an integer has that integer as the exact value's nearest, which "%.8f" prints.
  // Products near a half (ties among them) are left to the general path.
  const double scaled = std::fabs(value) * 1e8;
  const double units = std::nearbyint(scaled);
  if (std::fabs(scaled - units) >= 0.25) return 0;
  const auto whole = static_cast<std::uint64_t>(units);
  std::uint64_t integer = whole / 100000000;
  std::uint32_t fraction = static_cast<std::uint32_t>(whole % 100000000);
  char* p = buffer;
  if (std::signbit(value)) *p++ = '-';
  // Positive values below 1 drop their leading '0', as the trimmed text does (".25", "0").
  if (integer != 0 || p != buffer || fraction == 0) p = std::to_chars(p, p + 24, integer).ptr;
  if (fraction != 0) {
    int decimals = 8;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --decimals;
    }
    *p++ = '.';
    for (int i = decimals - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    p += decimals;
  }
  return static_cast<int>(p - buffer);
}

// Formats the double text into buffer (at least 352 bytes) and returns its length.
int FormatDouble(double value, char* buffer, int size) {
  if (std::fabs(value) < 16777216.0) {
    if (const int length = FormatDoubleInUnits(value, buffer)) return length;
  }
  auto [end, ec] = std::to_chars(buffer, buffer + size, value, std::chars_format::fixed, 8);
  if (ec != std::errc()) return 0;
  int length = static_cast<int>(end - buffer);
  if (std::memchr(buffer, '.', length) != nullptr) {
    while (length > 1 && buffer[length - 1] == '0') --length;
    if (length > 1 && buffer[length - 1] == '.') --length;
  }
  if (length > 1 && buffer[0] == '0') {
    std::memmove(buffer, buffer + 1, length - 1);
    --length;
  }
  return length;
}

constexpr int kDoubleTextSize = 400;

}  // namespace

void AppendDoubleText(double value, std::string& text) {
  char buffer[kDoubleTextSize];
  text.append(buffer, FormatDouble(value, buffer, kDoubleTextSize));
}

VOKField::VOKField(const VOKField& other) { *this = other; }

VOKField::VOKField(VOKField&& other) noexcept { TakePayload(other); }

VOKField& VOKField::operator=(const VOKField& other) {
  if (this == &other) return *this;
  switch (other.m_kind) {
    case FT_INT:
      SetInt(other.m_int);
      break;
    case FT_STRING:
      SetString(other.GetText());
      break;
    case FT_DOUBLE:
      SetDouble(other.m_double);
      break;
    case FT_UINT64:
      SetUInt64(other.m_uint64);
      break;
    case FT_GROUP:
      SetGroup(std::make_unique<VOKGroup>(*other.m_group));
      break;
    case FT_NONE:
      Reset();
      break;
  }
  return *this;
}

VOKField& VOKField::operator=(VOKField&& other) noexcept {
  if (this == &other) return *this;
  if (OwnsPayload()) ReleasePayload();
  TakePayload(other);
  return *this;
}

void VOKField::TakePayload(VOKField& other) noexcept {
  m_kind = other.m_kind;
  m_textSize = other.m_textSize;
  if (m_kind == FT_GROUP) {
    std::construct_at(&m_group, std::move(other.m_group));
    std::destroy_at(&other.m_group);
  } else if (m_kind == FT_STRING && m_textSize == kHeapText) {
    std::construct_at(&m_heap, std::move(other.m_heap));
    std::destroy_at(&other.m_heap);
  } else {
    // Numbers and inline texts are plain bytes.
    std::memcpy(m_inline, other.m_inline, sizeof m_inline);
  }
  other.m_kind = FT_NONE;
  other.m_textSize = 0;
  other.m_uint64 = 0;
}

void VOKField::ReleasePayload() {
  if (m_kind == FT_GROUP) {
    std::destroy_at(&m_group);
  } else if (m_kind == FT_STRING && m_textSize == kHeapText) {
    std::destroy_at(&m_heap);
  }
  m_kind = FT_NONE;
  m_textSize = 0;
  m_uint64 = 0;
}

void VOKField::SetStringSlow(std::string_view text) {
  if (text.size() <= kInlineText) {
    // The old payload is a long text or a group, which text may point into: copy it out first.
    char copy[kInlineText];
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    ReleasePayload();
    std::memcpy(m_inline, copy, sizeof copy);
    m_textSize = static_cast<std::uint32_t>(text.size());
  } else {
    auto data = std::make_unique_for_overwrite<char[]>(text.size());
    std::memcpy(data.get(), text.data(), text.size());
    if (OwnsPayload()) ReleasePayload();
    std::construct_at(&m_heap, HeapText{std::move(data), text.size()});
    m_textSize = kHeapText;
  }
  m_kind = FT_STRING;
}

void VOKField::SetGroup(std::unique_ptr<VOKGroup> group) {
  if (OwnsPayload()) ReleasePayload();
  if (group) {
    std::construct_at(&m_group, std::move(group));
    m_kind = FT_GROUP;
  } else {
    m_kind = FT_NONE;
    m_textSize = 0;
    m_uint64 = 0;
  }
}

bool VOKField::AsString(std::string& value) const {
  switch (m_kind) {
    case FT_INT:
    case FT_DOUBLE:
    case FT_UINT64:
      value.clear();
      AppendTo(value);
      return true;
    case FT_STRING:
      value.assign(GetText());
      return true;
    default:
      return false;
  }
}

bool VOKField::AsInt(int& value) const {
  switch (m_kind) {
    case FT_INT:
      value = m_int;
      return true;
    case FT_STRING: {
      const std::string_view text = GetText();
      value = ReadInt(text.data(), text.data() + text.size());
      return true;
    }
    case FT_DOUBLE:
      value = DoubleToInt(m_double);
      return true;
    case FT_UINT64:
      value = static_cast<int>(static_cast<std::uint32_t>(m_uint64));
      return true;
    default:
      return false;
  }
}

bool VOKField::AsUInt64(std::uint64_t& value) const {
  switch (m_kind) {
    case FT_INT:
      value = static_cast<std::uint64_t>(static_cast<std::int64_t>(m_int));
      return true;
    case FT_STRING: {
      const std::string_view text = GetText();
      value = ReadUInt64(text.data(), text.data() + text.size());
      return true;
    }
    case FT_DOUBLE:
      value = DoubleToUInt64(m_double);
      return true;
    case FT_UINT64:
      value = m_uint64;
      return true;
    default:
      return false;
  }
}

bool VOKField::AsDouble(double& value) const {
  switch (m_kind) {
    case FT_INT:
      value = m_int;
      return true;
    case FT_STRING: {
      const std::string_view text = GetText();
      value = ReadDouble(text.data(), text.data() + text.size());
      return true;
    }
    case FT_DOUBLE:
      value = m_double;
      return true;
    // The whole value converts (exact below 2^53), not only its low 32 bits.
    case FT_UINT64:
      value = static_cast<double>(m_uint64);
      return true;
    default:
      return false;
  }
}

void VOKField::AppendTo(std::string& text) const {
  char buffer[24];
  switch (m_kind) {
    case FT_INT: {
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, m_int);
      text.append(buffer, end);
      break;
    }
    case FT_UINT64: {
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, m_uint64);
      text.append(buffer, end);
      break;
    }
    case FT_STRING:
      text.append(GetText());
      break;
    case FT_DOUBLE:
      AppendDoubleText(m_double, text);
      break;
    default:
      break;
  }
}

bool VOKField::AsString(char* buffer, int size) const {
  if (buffer == nullptr || size < 1) return false;
  auto copyCut = [&](const char* text, std::size_t length) {
    const std::size_t n = std::min(length, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
  };
  switch (m_kind) {
    case FT_INT: {
      char digits[16];
      auto [end, ec] = std::to_chars(digits, digits + sizeof digits, m_int);
      copyCut(digits, static_cast<std::size_t>(end - digits));
      return true;
    }
    case FT_STRING: {
      const std::string_view text = GetText();
      copyCut(text.data(), text.size());
      return true;
    }
    case FT_DOUBLE: {
      char text[kDoubleTextSize];
      const int length = FormatDouble(m_double, text, kDoubleTextSize);
      if (length >= size) return false;
      copyCut(text, static_cast<std::size_t>(length));
      return true;
    }
    default:
      return false;
  }
}
