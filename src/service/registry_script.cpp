// The registry script reader: keys, their flags, default and named values, nested in braces.
#include "service/registry_script.h"

#include <cctype>

#include "platform/class_registry.h"

struct CRegistryScript::Key {
  enum class Flag { None, NoRemove, ForceRemove };
  Flag flag = Flag::None;
  std::string name;
  bool hasDefault = false;
  std::string defaultValue;
  std::vector<vok::RegistryValue> values;
  std::vector<std::unique_ptr<Key>> children;
};

namespace {

using Key = CRegistryScript::Key;

// Deep scripts are not expected; the bound keeps malformed input from recursing without end.
constexpr int kMaxDepth = 16;

class CScriptReader {
 public:
  CScriptReader(std::string_view text, const CRegistryScript::Replacements& replacements)
      : m_text(text), m_replacements(replacements) {}

  // The body of the root: "HKCR { ... }" (other roots are not written by this library).
  bool ReadRoots(std::vector<std::unique_ptr<Key>>& roots) {
    std::string root;
    if (!NextToken(root) || (root != "HKCR" && root != "HKEY_CLASSES_ROOT")) return false;
    if (!Expect("{") || !ReadKeys(roots, 0)) return false;
    std::string rest;
    return !NextToken(rest);
  }

 private:
  // Keys up to and including the closing brace.
  bool ReadKeys(std::vector<std::unique_ptr<Key>>& keys, int depth, Key* parent = nullptr) {
    if (depth > kMaxDepth) return false;
    for (;;) {
      std::string token;
      if (!NextToken(token)) return false;
      if (token == "}") return true;
      if (token == "val") {
        if (parent == nullptr) return false;
        vok::RegistryValue value;
        if (!NextToken(value.name) || !Expect("=") || !ReadStringValue(value.data)) return false;
        parent->values.push_back(std::move(value));
        continue;
      }
      auto key = std::make_unique<Key>();
      if (token == "NoRemove" || token == "ForceRemove") {
        key->flag = token == "NoRemove" ? Key::Flag::NoRemove : Key::Flag::ForceRemove;
        if (!NextToken(token)) return false;
      }
      if (token == "{" || token == "}" || token == "=") return false;
      key->name = token;
      std::string next;
      if (!PeekToken(next)) return false;
      if (next == "=") {
        NextToken(next);
        if (!ReadStringValue(key->defaultValue)) return false;
        key->hasDefault = true;
        if (!PeekToken(next)) return false;
      }
      if (next == "{") {
        NextToken(next);
        if (!ReadKeys(key->children, depth + 1, key.get())) return false;
      }
      keys.push_back(std::move(key));
    }
  }

  // "s 'text'": only string values are used.
  bool ReadStringValue(std::string& value) {
    std::string type;
    if (!NextToken(type) || type != "s") return false;
    return NextToken(value, true);
  }

  bool Expect(std::string_view wanted) {
    std::string token;
    return NextToken(token) && token == wanted;
  }

  bool PeekToken(std::string& token) {
    const std::size_t at = m_pos;
    const bool ok = NextToken(token);
    m_pos = at;
    return ok;
  }

  // A brace, "=", a quoted text ('' stands for one quote) or a bare word. Quoted texts only
  // when quotedOnly is set (values must be quoted).
  bool NextToken(std::string& token, bool quotedOnly = false) {
    while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
    if (m_pos >= m_text.size()) return false;
    token.clear();
    const char c = m_text[m_pos];
    if (c == '\'') {
      ++m_pos;
      for (;;) {
        if (m_pos >= m_text.size()) return false;
        if (m_text[m_pos] == '\'') {
          if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\'') {
            token += '\'';
            m_pos += 2;
            continue;
          }
          ++m_pos;
          break;
        }
        token += m_text[m_pos++];
      }
      Replace(token);
      return true;
    }
    if (quotedOnly) return false;
    if (c == '{' && (m_pos + 1 >= m_text.size() || std::isspace(static_cast<unsigned char>(m_text[m_pos + 1])))) {
      ++m_pos;
      token.push_back(c);
      return true;
    }
    if (c == '}' || c == '=') {
      ++m_pos;
      token.push_back(c);
      return true;
    }
    // A bare word; a GUID such as {466E...} is one word, braces included.
    while (m_pos < m_text.size() && !std::isspace(static_cast<unsigned char>(m_text[m_pos])) && m_text[m_pos] != '=' &&
           !(m_text[m_pos] == '}' && !token.starts_with("{"))) {
      token += m_text[m_pos++];
      if (token.starts_with("{") && token.ends_with("}") && token.size() > 1) break;
    }
    Replace(token);
    return !token.empty();
  }

  void Replace(std::string& text) const {
    for (const auto& [from, to] : m_replacements) {
      const std::string pattern = "%" + from + "%";
      for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + to.size())) {
        text.replace(at, pattern.size(), to);
      }
    }
  }

  std::string_view m_text;
  const CRegistryScript::Replacements& m_replacements;
  std::size_t m_pos = 0;
};

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

bool RegisterKey(const Key& key, const std::string& parent) {
  const std::string path = Join(parent, key.name);
  // A ForceRemove key is replaced, never merged, so registering twice leaves one consistent set.
  if (key.flag == Key::Flag::ForceRemove && !vok::DeleteClassKeyTree(path)) return false;
  std::vector<vok::RegistryValue> values;
  if (key.hasDefault) values.push_back({"", key.defaultValue});
  values.insert(values.end(), key.values.begin(), key.values.end());
  if (!vok::WriteClassKey(path, values)) return false;
  for (const auto& child : key.children) {
    if (!RegisterKey(*child, path)) return false;
  }
  return true;
}

bool UnregisterKey(const Key& key, const std::string& parent) {
  const std::string path = Join(parent, key.name);
  if (key.flag != Key::Flag::NoRemove) return vok::DeleteClassKeyTree(path);
  bool ok = true;
  for (const auto& child : key.children) ok = UnregisterKey(*child, path) && ok;
  return ok;
}

}  // namespace

CRegistryScript::CRegistryScript(std::string_view script, const Replacements& replacements) {
  CScriptReader reader(script, replacements);
  m_valid = reader.ReadRoots(m_roots);
  if (!m_valid) m_roots.clear();
}

CRegistryScript::~CRegistryScript() = default;

bool CRegistryScript::Register() const {
  if (!m_valid) return false;
  for (const auto& key : m_roots) {
    if (!RegisterKey(*key, "")) return false;
  }
  return true;
}

bool CRegistryScript::Unregister() const {
  if (!m_valid) return false;
  bool ok = true;
  for (const auto& key : m_roots) ok = UnregisterKey(*key, "") && ok;
  return ok;
}
