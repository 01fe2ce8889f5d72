// Parses a text in either form, and describes a message as one text ("fid:kind:text" by field
// id, kinds I U D S G) so that a whole message is checked in one comparison.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "message/vok_message.h"

namespace vok::test {

inline VOKMessage Parse(const std::string& text) { return VOKMessage(text.data(), static_cast<int>(text.size())); }

// The field's text as the writers give it, or "<absent>".
inline std::string TextOf(const VOKMessage& message, int fid) {
  const VOKField* field = nullptr;
  if (!message.Lookup(fid, field)) return "<absent>";
  std::string text;
  field->AppendTo(text);
  return text;
}

inline std::string Described(const VOKMessage& message) {
  std::vector<std::pair<int, std::string>> fields;
  message.Fields().ForEach([&](int fid, const VOKField& field) {
    std::string text = std::to_string(fid) + ":" + "?ISDGU"[field.GetKind()] + ":";
    field.AppendTo(text);
    fields.emplace_back(fid, std::move(text));
  });
  std::sort(fields.begin(), fields.end());
  std::string all;
  for (const auto& [fid, text] : fields) all += (all.empty() ? "" : " ") + text;
  return all;
}

}  // namespace vok::test
