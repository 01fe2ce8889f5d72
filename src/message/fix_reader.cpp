// The FIX form reader; see fix_reader.h. One wide pass (SSE2, or eight bytes a word) finds the end of
// the text and sums the checksum over it; a second splits the tokens at SOH, translates tags and
// stores values as they are met, taking the checksum tokens back out of the sum.
#include "message/fix_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "message/fix_codes.h"
#include "message/fix_tables.h"
#include "message/group_reader.h"
#include "message/number_text.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "vkdll/vkdll.h"

using namespace vok::message;
namespace wire = vok::wire;

namespace {

constexpr char kSoh = '\x01';

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// Marks bytes equal to byte; the lowest mark is exact and no mark appears below a real match.
std::uint64_t MatchBytes(std::uint64_t word, unsigned char byte) {
  const std::uint64_t v = word ^ (kOnes * byte);
  return (v - kOnes) & ~v & kHighs;
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r' || c == '\0'; }

// The signed byte sum of [begin, end), stopping early at the first line feed, carriage return or
// NUL when stopAtLineEnd; end is moved there. Byte pairs are added into 16-bit lanes and top bits
// counted in 8-bit lanes, folded into the total every 128 words, before a 16-bit lane (at most
// 510 a word) can overflow.
std::int64_t SumOf(const char* begin, const char*& end, bool stopAtLineEnd) {
  constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFULL;
  std::int64_t sum = 0;
  const char* p = begin;
  bool stopped = false;
#if defined(__SSE2__)
  // Sixteen bytes a step: a signed byte with its top bit flipped is itself plus 128 as an unsigned
  // byte, so the unsigned sum of the flipped bytes less 128 a byte is the signed sum. A block that
  // holds the end is left to the loops below.
  const __m128i zero = _mm_setzero_si128();
  const __m128i lineFeed = _mm_set1_epi8('\n');
  const __m128i carriageReturn = _mm_set1_epi8('\r');
  const __m128i topBits = _mm_set1_epi8(static_cast<char>(0x80));
  __m128i flippedSum = zero;
  std::int64_t blocks = 0;
  for (; end - p >= 16; p += 16, ++blocks) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (stopAtLineEnd) {
      const __m128i stops =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, lineFeed), _mm_cmpeq_epi8(block, carriageReturn)),
                       _mm_cmpeq_epi8(block, zero));
      if (_mm_movemask_epi8(stops) != 0) break;
    }
    flippedSum = _mm_add_epi64(flippedSum, _mm_sad_epu8(_mm_xor_si128(block, topBits), zero));
  }
  alignas(16) std::uint64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), flippedSum);
  sum += static_cast<std::int64_t>(lanes[0] + lanes[1]) - 128 * 16 * blocks;
#endif
  while (!stopped && end - p >= 8) {
    std::uint64_t pairs = 0;
    std::uint64_t highs = 0;
    for (int words = 0; words < 128 && end - p >= 8; ++words, p += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, p, 8);
      // The word that holds the end is left to the byte loop below.
      if (stopAtLineEnd && (MatchBytes(word, '\n') | MatchBytes(word, '\r') | MatchBytes(word, 0)) != 0) {
        stopped = true;
        break;
      }
      pairs += (word & kLowBytes) + ((word >> 8) & kLowBytes);
      highs += (word >> 7) & kOnes;
    }
    // Lanes of pairs: 16 bits each; of highs: 8 bits each.
    const std::uint64_t pairTotal = (pairs & 0xFFFF) + (pairs >> 16 & 0xFFFF) + (pairs >> 32 & 0xFFFF) + (pairs >> 48);
    std::uint64_t highTotal = 0;
    for (int lane = 0; lane < 8; ++lane) highTotal += highs >> (8 * lane) & 0xFF;
    sum += static_cast<std::int64_t>(pairTotal) - 256 * static_cast<std::int64_t>(highTotal);
  }
  for (; p < end; ++p) {
    if (stopAtLineEnd && IsLineEnd(*p)) {
      end = p;
      break;
    }
    sum += static_cast<signed char>(*p);
  }
  return sum;
}

// The first SOH at or after p, or end: eight bytes at a time while eight remain.
const char* FindSoh(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; end - p >= 8; p += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, p, 8);
      if (const std::uint64_t soh = MatchBytes(word, 0x01); soh != 0) return p + std::countr_zero(soh) / 8;
    }
  }
  while (p < end && *p != kSoh) ++p;
  return p;
}

bool TranslateMemberTag(int tag, int& id) {
  id = FixToInternalId(false, tag);
  return id != -1;
}

void StoreMember(VOKMessage& entry, int id, const char* value, const char* valueEnd, CParseBudget& budget) {
  if (!budget.Admit(entry.Fields(), id)) return;
  std::string_view text(value, static_cast<std::size_t>(valueEnd - value));
  std::string replaced;
  if (text.find(';') != std::string_view::npos) {
    replaced.assign(text);
    std::replace(replaced.begin(), replaced.end(), ';', ',');
    text = replaced;
  }
  StoreFixValue(entry, id, text);
}

constexpr GroupReadRules kFixGroupRules{kSoh, &InternalToFixTag, &TranslateMemberTag, &StoreMember};

// The received text for a trace line, with the logon password (tag 554) masked.
std::string TraceText(const char* text, int length) {
  std::string copy(text, strnlen(text, static_cast<std::size_t>(length)));
  for (std::size_t at = 0; (at = copy.find("554=", at)) != std::string::npos; at += 4) {
    if (at != 0 && copy[at - 1] != kSoh) continue;
    const std::size_t valueStart = at + 4;
    const std::size_t valueEnd = std::min(copy.find(kSoh, valueStart), copy.size());
    copy.replace(valueStart, valueEnd - valueStart, "********");
  }
  return copy;
}

int IntOrZero(const VOKMessage& message, int fid) {
  int value = 0;
  message.GetInt(fid, value);
  return value;
}

void PostProcessOrder(VOKMessage& message) {
  std::string openClose;
  const bool hasOpenClose = message.GetString(wire::kFidExecInst, openClose);
  int orderType = IntOrZero(message, wire::kFidOrderType);
  const int quantity = IntOrZero(message, wire::kFidMaxFloor);
  if (hasOpenClose) {
    if (orderType == wire::kOrderPegged) {
      if (openClose.find('R') != std::string::npos) {
        message.SetInt(wire::kFidOrderType,
                       quantity > 0 ? wire::kOrderPeggedPrimaryReserve : wire::kOrderPeggedPrimary);
      } else if (openClose.find('C') != std::string::npos) {
        message.SetInt(wire::kFidOrderType, wire::kOrderPeggedC);
      }
    } else if (orderType != wire::kOrderTypeV && openClose.find('G') != std::string::npos) {
      message.SetInt(wire::kFidOrderCondition, wire::kConditionAllOrNone);
    }
  }
  orderType = IntOrZero(message, wire::kFidOrderType);
  if (orderType == wire::kOrderPeggedPrimary && quantity != 0)
    message.SetInt(wire::kFidOrderType, wire::kOrderPeggedPrimaryReserve);
  if (orderType == wire::kOrderLimit) {
    const int offset = IntOrZero(message, wire::kFidDiscretionOffset);
    if (offset != 0) {
      message.SetInt(wire::kFidOrderType,
                     quantity != 0 ? wire::kOrderLimitDiscretionReserve : wire::kOrderLimitDiscretion);
      double price = 0;
      double offsetValue = 0;
      message.GetDouble(wire::kFidOrderPrice, price);
      message.GetDouble(wire::kFidDiscretionOffset, offsetValue);
      message.SetDouble(wire::kFidDiscretionPrice, price + offsetValue);
    } else if (quantity != 0) {
      message.SetInt(wire::kFidOrderType, wire::kOrderLimitReserve);
    }
  }
}

}  // namespace

void VOKFixReader::Read(VOKMessage& message, const char* text, int length, CParseBudget& budget) {
  // The text is read in place. The checksum covers every byte before the trailer, so it is summed
  // in the pass that finds the end of the text and the trailer tokens are taken back out as they
  // are met. Only a value that holds a ';' is copied, to store it with ',' instead.
  const char* end = text + length;
  // 64 bits: a sum over a text of many megabytes must not overflow.
  std::int64_t total = SumOf(text, end, true);
  // Most messages hold no ';' at all; the next one is found again only once a value passes it.
  const char* semicolon = static_cast<const char*>(std::memchr(text, ';', static_cast<std::size_t>(end - text)));
  std::string replaced;
  bool summed = false;
  bool haveExpected = false;
  int expected = 0;
  const char* p = text;
  while (p < end) {
    const char* tokenStart = p;
    // The tag: up to nine plain digits followed by '=' are read here; anything else is left to
    // atoi's rules.
    std::uint64_t tagValue = 0;
    p = ReadDigits(p, end, tagValue);
    const bool tagPlain = p < end && *p == '=' && p > tokenStart && p - tokenStart <= 9;
    if (!tagPlain) {
      while (p < end && *p != '=' && *p != kSoh) ++p;
    }
    const char* eq = p < end && *p == '=' ? p : nullptr;
    const char* tokenEnd = eq != nullptr ? FindSoh(eq + 1, end) : p;
    p = tokenEnd < end ? tokenEnd + 1 : end;
    if (tokenEnd - tokenStart == 6 && std::memcmp(tokenStart, "10=", 3) == 0) {
      haveExpected = true;
      expected = ReadInt(tokenStart + 3, tokenEnd);
      const char* trailerEnd = p;
      total -= SumOf(tokenStart, trailerEnd, false);
      continue;
    }
    summed = true;
    if (eq == nullptr) continue;

    const int tag = tagPlain ? static_cast<int>(tagValue) : ReadInt(tokenStart, eq);
    std::string_view value(eq + 1, static_cast<std::size_t>(tokenEnd - eq - 1));
    if (semicolon != nullptr && semicolon < eq) {
      semicolon = static_cast<const char*>(std::memchr(eq, ';', static_cast<std::size_t>(end - eq)));
    }
    if (semicolon != nullptr && semicolon < tokenEnd) {
      replaced.assign(value);
      std::replace(replaced.begin(), replaced.end(), ';', ',');
      value = replaced;
    }
    if (tag == 38) message.SetText(wire::kFidOrderQuantityText, value);
    const int id = FixToInternalId(message.GetType() == 'E', tag);
    if (id == -1) continue;
    if (IsGroupField(id)) {
      const int count = ReadInt(value.data(), value.data() + value.size());
      if (count < 1) continue;
      const char* resume = end;
      // The group's own field is taken first, so that its entries cannot use up its place.
      VOKField* field = budget.Field(message.m_fields, id);
      std::unique_ptr<VOKGroup> group = ReadGroup(id, count, p, end, kFixGroupRules, budget, 0, resume);
      if (field != nullptr) field->SetGroup(std::move(group));
      p = resume;
      continue;
    }
    // The message and execution types set the type, not a field: the caps do not apply.
    const bool setsType = id == kFixMessageTypeId || id == kFixExecutionTypeId;
    if (setsType || budget.Admit(message.Fields(), id)) StoreFixValue(message, id, value);
  }

  if (!haveExpected) {
    VOKTRACE_Printf(VOKTRACE_WARNING, "Unable to parse checksum: %s", TraceText(text, length).c_str());
  } else if (!summed) {
    VOKTRACE_Printf(VOKTRACE_WARNING, "Unable to calculate checksum: %s", TraceText(text, length).c_str());
  } else if (const auto calculated = static_cast<int>(total % 256); calculated != expected) {
    VOKTRACE_Printf(VOKTRACE_WARNING, "Invalid checksum (calc'd=%d): %s", calculated, TraceText(text, length).c_str());
  }
  PostProcessOrder(message);
}
