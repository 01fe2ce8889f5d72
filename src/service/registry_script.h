// CRegistryScript: the class registration of the library, written as a small registry script
// (the text of resource REGISTRY 106 in the Windows DLL) and applied to the class registry of
// platform/class_registry.h. The script names keys under HKCR with default and named string
// values; "ForceRemove" keys are deleted before they are written, "NoRemove" keys survive
// unregistration (only what is below them goes). %NAME% texts are replaced before use.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CRegistryScript {
 public:
  using Replacements = std::vector<std::pair<std::string, std::string>>;

  // Parses the script; IsValid() is false when it could not be read (nothing is then applied).
  CRegistryScript(std::string_view script, const Replacements& replacements);
  ~CRegistryScript();
  CRegistryScript(const CRegistryScript&) = delete;
  CRegistryScript& operator=(const CRegistryScript&) = delete;

  bool IsValid() const { return m_valid; }
  // Writes every key; false when the script is invalid or the registry refused a write.
  bool Register() const;
  // Removes what Register wrote, keeping NoRemove keys; false when a removal failed.
  bool Unregister() const;

  struct Key;

 private:
  std::vector<std::unique_ptr<Key>> m_roots;
  bool m_valid = false;
};
