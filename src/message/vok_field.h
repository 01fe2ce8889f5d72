// One typed value of a message: an integer, text, double, unsigned 64-bit number or repeating
// group, stored in the kind it arrived in and converted on demand when read in another kind.
// Readers never fail hard: every conversion reports success and leaves its output untouched on
// failure. Not locked: a field belongs to one message, which one thread uses at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class VOKGroup;

enum VOKFieldType : std::int32_t {
  FT_NONE = 0,
  FT_INT = 1,
  FT_STRING = 2,
  FT_DOUBLE = 3,
  FT_GROUP = 4,
  FT_UINT64 = 5,
};

class VOKField {
 public:
  VOKField() noexcept;
  VOKField(const VOKField& other);
  VOKField(VOKField&& other) noexcept;
  VOKField& operator=(const VOKField& other);
  VOKField& operator=(VOKField&& other) noexcept;
  ~VOKField();

  VOKFieldType GetKind() const { return m_kind; }

  // Each setter releases the previous payload (a group and all its entries) first.
  void SetInt(int value) {
    ReleaseFor(FT_INT);
    m_uint64 = 0;
    m_int = value;
  }
  void SetString(std::string_view text);
  void SetDouble(double value) {
    ReleaseFor(FT_DOUBLE);
    m_double = value;
  }
  void SetUInt64(std::uint64_t value) {
    ReleaseFor(FT_UINT64);
    m_uint64 = value;
  }
  void SetGroup(std::unique_ptr<VOKGroup> group);
  void Reset();

  // The group of an FT_GROUP field, else null. The field keeps ownership.
  VOKGroup* GetGroup() const { return m_kind == FT_GROUP ? m_group.get() : nullptr; }
  // The text of an FT_STRING field; empty for every other kind.
  const std::string& GetText() const { return m_text; }

  bool AsString(std::string& value) const;
  bool AsInt(int& value) const;
  bool AsUInt64(std::uint64_t& value) const;
  bool AsDouble(double& value) const;
  // Appends the value text; an empty or group field appends nothing.
  void AppendTo(std::string& text) const;
  // Always leaves a terminating NUL inside buffer; a double that does not fit fails.
  bool AsString(char* buffer, int size) const;
  void FormatValue(std::string& value) const { AsString(value); }

 private:
  // Drops a text or group payload (numbers need nothing) and takes the new kind.
  void ReleaseFor(VOKFieldType kind) {
    if (m_kind == FT_STRING || m_kind == FT_GROUP) ReleasePayload();
    m_kind = kind;
  }
  void ReleasePayload();

  VOKFieldType m_kind = FT_NONE;
  union {
    std::int32_t m_int;
    double m_double;
    std::uint64_t m_uint64;
  };
  std::string m_text;
  std::unique_ptr<VOKGroup> m_group;
};

// The double text of every writer: "%.8f" with trailing zeros and a trailing '.' removed, and a
// leading '0' dropped (0.25 -> ".25", 10.0 -> "10", 0.0 -> "0", -0.5 -> "-0.5").
void AppendDoubleText(double value, std::string& text);
