// One typed value of a message: an integer, text, double, unsigned 64-bit number or repeating
// group, stored in the kind it arrived in and converted on demand when read in another kind.
// Readers never fail hard: every conversion reports success and leaves its output untouched on
// failure. Not locked: a field belongs to one message, which one thread uses at a time.
// Texts of up to 24 characters (symbols, ids, FIX timestamps) live inside the field itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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
  // Texts up to this many characters are held in the field itself, with no allocation.
  static constexpr std::size_t kInlineText = 24;

  VOKField() noexcept {}
  VOKField(const VOKField& other);
  VOKField(VOKField&& other) noexcept;
  VOKField& operator=(const VOKField& other);
  VOKField& operator=(VOKField&& other) noexcept;
  ~VOKField() {
    if (OwnsPayload()) ReleasePayload();
  }

  VOKFieldType GetKind() const { return m_kind; }

  // Each setter releases the previous payload (a long text, a group and all its entries) first.
  void SetInt(int value) {
    ReleaseFor(FT_INT);
    m_uint64 = 0;
    m_int = value;
  }
  // text may be this field's own text.
  void SetString(std::string_view text) {
    if (text.size() <= kInlineText && !OwnsPayload()) {
      // memmove: the text may already be this field's inline text.
      if (!text.empty()) std::memmove(m_inline, text.data(), text.size());
      m_textSize = static_cast<std::uint32_t>(text.size());
      m_kind = FT_STRING;
      return;
    }
    SetStringSlow(text);
  }
  // SetString for a text read from a buffer in which at least kInlineText bytes from text.data()
  // are readable (readableEnd bounds them): a short text is then copied in one fixed-size move,
  // which a parser storing many short texts does without a library call. The bytes copied past
  // the text are never read.
  void SetString(std::string_view text, const char* readableEnd) {
    if (text.size() <= kInlineText && !OwnsPayload() && readableEnd - text.data() >= std::ptrdiff_t{kInlineText}) {
      std::memcpy(m_inline, text.data(), kInlineText);
      m_textSize = static_cast<std::uint32_t>(text.size());
      m_kind = FT_STRING;
      return;
    }
    SetString(text);
  }
  void SetDouble(double value) {
    ReleaseFor(FT_DOUBLE);
    m_double = value;
  }
  void SetUInt64(std::uint64_t value) {
    ReleaseFor(FT_UINT64);
    m_uint64 = value;
  }
  void SetGroup(std::unique_ptr<VOKGroup> group);
  void Reset() {
    ReleaseFor(FT_NONE);
    m_uint64 = 0;
  }

  // The group of an FT_GROUP field, else null. The field keeps ownership.
  VOKGroup* GetGroup() const { return m_kind == FT_GROUP ? m_group.get() : nullptr; }
  // The text of an FT_STRING field; empty for every other kind. Valid until the field changes.
  std::string_view GetText() const {
    if (m_kind != FT_STRING) return {};
    if (m_textSize == kHeapText) return {m_heap.m_data.get(), m_heap.m_size};
    return {m_inline, m_textSize};
  }

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
  // A text longer than kInlineText, on the heap.
  struct HeapText {
    std::unique_ptr<char[]> m_data;
    std::size_t m_size;
  };
  // m_textSize of a text held in m_heap.
  static constexpr std::uint32_t kHeapText = 0xFFFFFFFFU;

  // Only groups and long texts own memory; numbers and short texts need no release.
  bool OwnsPayload() const { return m_kind == FT_GROUP || (m_kind == FT_STRING && m_textSize == kHeapText); }
  void ReleaseFor(VOKFieldType kind) {
    if (OwnsPayload()) ReleasePayload();
    m_kind = kind;
  }
  // Destroys a group or long text; afterwards the payload holds no object and m_kind is FT_NONE.
  void ReleasePayload();
  void SetStringSlow(std::string_view text);
  // Takes other's payload, leaving other empty; this holds no payload on entry.
  void TakePayload(VOKField& other) noexcept;

  VOKFieldType m_kind = FT_NONE;
  std::uint32_t m_textSize = 0;  // inline text length, or kHeapText
  // The active member follows m_kind (and, for texts, m_textSize); groups and long texts are
  // constructed and destroyed explicitly as the kind changes.
  union {
    std::uint64_t m_uint64 = 0;
    std::int32_t m_int;
    double m_double;
    char m_inline[kInlineText];
    HeapText m_heap;
    std::unique_ptr<VOKGroup> m_group;
  };
};

// The double text of every writer: "%.8f" with trailing zeros and a trailing '.' removed, and a
// leading '0' dropped (0.25 -> ".25", 10.0 -> "10", 0.0 -> "0", -0.5 -> "-0.5"). A negative value
// that rounds to zero keeps its sign ("-0"): the text is exactly what those steps give.
void AppendDoubleText(double value, std::string& text);
