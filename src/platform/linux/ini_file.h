// Linux-only: the small INI file behind the settings store and the class registry. Sections and
// names compare without regard to case, as registry keys do; comments are not kept on save.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vok::linux_ini {

class CIniFile {
 public:
  // Reads the file; a missing file is an empty one. Lines over 64 KiB or without '=' are skipped.
  explicit CIniFile(std::string path);

  const std::string* Find(std::string_view section, std::string_view name) const;
  // Creates the section if it is missing (a key without values still exists).
  void AddSection(std::string_view section);
  void Set(std::string_view section, std::string_view name, std::string value);
  void Remove(std::string_view section, std::string_view name);
  // Removes the section and every section whose name starts with it followed by '\'.
  void RemoveTree(std::string_view section);
  // Writes the file (creating its folders) through a temporary file and a rename.
  bool Save() const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  Section* FindSection(std::string_view name);
  const Section* FindSection(std::string_view name) const;

  std::string m_path;
  std::vector<Section> m_sections;
};

// $XDG_CONFIG_HOME/vokhaldex/<file> (default $HOME/.config/vokhaldex/<file>).
std::string ConfigPath(std::string_view file);

}  // namespace vok::linux_ini
