// Inline repeating-group reading; see group_reader.h. Entries before the last run up to the
// head's next occurrence; the last one runs while its tokens are members of the group.
#include "message/group_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "message/number_text.h"
#include "message/vok_message.h"

namespace vok::message {
namespace {

struct Token {
  const char* m_begin;
  const char* m_eq;    // first '=', or null
  const char* m_end;   // separator or end of text
  const char* m_next;  // first character after the separator
};

Token NextToken(const char* p, const char* end, char separator) {
  Token token{p, nullptr, p, p};
  const char* q = p;
  while (q < end && *q != separator) {
    if (token.m_eq == nullptr && *q == '=') token.m_eq = q;
    ++q;
  }
  token.m_end = q;
  token.m_next = q < end ? q + 1 : q;
  return token;
}

// The internal id of a token; none for a token without '=' or with a tag that is not read.
std::optional<int> TokenId(const Token& token, const GroupReadRules& rules) {
  int id = 0;
  if (token.m_eq == nullptr || !rules.m_translate(ReadInt(token.m_begin, token.m_eq), id)) return std::nullopt;
  return id;
}

bool IsMember(std::span<const int> members, int id) {
  return std::find(members.begin(), members.end(), id) != members.end();
}

// Stores one member token in entry (null: an entry over the budget, whose tokens are only
// consumed); a member that is itself a group is read recursively. Returns where the entry
// continues.
const char* StoreMember(VOKMessage* entry, const Token& token, int id, const char* end, const GroupReadRules& rules,
                        CParseBudget& budget, int depth) {
  if (IsGroupField(id)) {
    const int count = ReadInt(token.m_eq + 1, token.m_end);
    if (count < 1) return token.m_next;
    if (depth + 1 >= kMaxGroupDepth) {
      budget.SkipNestedGroup();
      return token.m_next;
    }
    // The group's own field is taken first, so that its entries cannot use up its place.
    const bool admitted = entry != nullptr && budget.Admit(entry->Fields(), id);
    const char* resume = end;
    std::unique_ptr<VOKGroup> group =
        ReadGroup(id, count, token.m_end < end ? token.m_next : end, end, rules, budget, depth + 1, resume);
    if (admitted) {
      VOKField field;
      field.SetGroup(std::move(group));
      entry->SetField(id, std::move(field));
    }
    return resume;
  }
  if (entry != nullptr) rules.m_store(*entry, id, token.m_eq + 1, token.m_end, budget);
  return token.m_next;
}

}  // namespace

std::unique_ptr<VOKGroup> ReadGroup(int groupId, int count, const char* p, const char* end, const GroupReadRules& rules,
                                    CParseBudget& budget, int depth, const char*& resume) {
  auto group = std::make_unique<VOKGroup>();
  resume = end;
  const std::span<const int> members = GroupMembers(groupId);
  if (members.empty() || p >= end) return group;
  const int head = members.front();

  // The text that opens each entry: separator, the head's wire tag and '='.
  char headText[16];
  auto [tagEnd, ec] = std::to_chars(headText, headText + sizeof headText - 1, rules.m_wireTag(head));
  *tagEnd = '=';
  const std::size_t headLength = static_cast<std::size_t>(tagEnd + 1 - headText);

  Token token = NextToken(p, end, rules.m_separator);
  if (TokenId(token, rules) != head) return group;

  for (int index = 1; index <= count; ++index) {
    std::unique_ptr<VOKMessage> entry;
    if (budget.AdmitEntry()) {
      entry = std::make_unique<VOKMessage>();
      rules.m_store(*entry, head, token.m_eq + 1, token.m_end, budget);
    }
    p = token.m_next;
    if (index < count) {
      // Every token up to the head's next occurrence belongs to this entry, whatever its id.
      while (p < end &&
             !(static_cast<std::size_t>(end - p) >= headLength && std::memcmp(p, headText, headLength) == 0)) {
        token = NextToken(p, end, rules.m_separator);
        const std::optional<int> id = TokenId(token, rules);
        p = id ? StoreMember(entry.get(), token, *id, end, rules, budget, depth) : token.m_next;
      }
      group->AddEntry(std::move(entry));
      if (p >= end) return group;
      token = NextToken(p, end, rules.m_separator);
      continue;
    }
    // The last entry ends at the first token that is not a member of the group.
    while (p < end) {
      token = NextToken(p, end, rules.m_separator);
      if (token.m_eq == nullptr) {
        p = token.m_next;
        continue;
      }
      const std::optional<int> id = TokenId(token, rules);
      if (!id || !IsMember(members, *id)) break;
      p = StoreMember(entry.get(), token, *id, end, rules, budget, depth);
    }
    group->AddEntry(std::move(entry));
    resume = p;
  }
  return group;
}

}  // namespace vok::message
