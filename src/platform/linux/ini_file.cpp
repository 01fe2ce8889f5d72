// Linux-only INI file of platform/linux/ini_file.h.
#include "platform/linux/ini_file.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace vok::linux_ini {
namespace {

constexpr std::size_t kMaxLine = 64 * 1024;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

CIniFile::CIniFile(std::string path) : m_path(std::move(path)) {
  std::ifstream file(m_path);
  std::string line;
  Section* current = nullptr;
  while (std::getline(file, line)) {
    if (line.size() > kMaxLine) continue;
    const std::string_view text = Trim(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    if (text.front() == '[' && text.back() == ']') {
      const std::string_view name = text.substr(1, text.size() - 2);
      current = FindSection(name);
      if (current == nullptr) current = &m_sections.emplace_back(Section{std::string(name), {}});
      continue;
    }
    const auto equals = text.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    current->entries.emplace_back(std::string(Trim(text.substr(0, equals))),
                                  std::string(Trim(text.substr(equals + 1))));
  }
}

CIniFile::Section* CIniFile::FindSection(std::string_view name) {
  for (Section& section : m_sections) {
    if (SameName(section.name, name)) return &section;
  }
  return nullptr;
}

const CIniFile::Section* CIniFile::FindSection(std::string_view name) const {
  return const_cast<CIniFile*>(this)->FindSection(name);
}

const std::string* CIniFile::Find(std::string_view section, std::string_view name) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return nullptr;
  for (const auto& [key, value] : found->entries) {
    if (SameName(key, name)) return &value;
  }
  return nullptr;
}

void CIniFile::AddSection(std::string_view section) {
  if (FindSection(section) == nullptr) m_sections.push_back(Section{std::string(section), {}});
}

void CIniFile::Set(std::string_view section, std::string_view name, std::string value) {
  AddSection(section);
  Section* found = FindSection(section);
  for (auto& [key, existing] : found->entries) {
    if (SameName(key, name)) {
      existing = std::move(value);
      return;
    }
  }
  found->entries.emplace_back(std::string(name), std::move(value));
}

void CIniFile::Remove(std::string_view section, std::string_view name) {
  Section* found = FindSection(section);
  if (found == nullptr) return;
  std::erase_if(found->entries, [&](const auto& entry) { return SameName(entry.first, name); });
}

void CIniFile::RemoveTree(std::string_view section) {
  std::erase_if(m_sections, [&](const Section& candidate) {
    return SameName(candidate.name, section) ||
           (candidate.name.size() > section.size() && candidate.name[section.size()] == '\\' &&
            SameName(std::string_view(candidate.name).substr(0, section.size()), section));
  });
}

bool CIniFile::Save() const {
  if (!MakeParentFolders(m_path)) return false;
  const std::string temporary = m_path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::trunc);
    for (const Section& section : m_sections) {
      file << '[' << section.name << "]\n";
      for (const auto& [key, value] : section.entries) file << key << '=' << value << '\n';
      file << '\n';
    }
    file.flush();
    if (!file) return false;
  }
  return ::rename(temporary.c_str(), m_path.c_str()) == 0;
}

std::string ConfigPath(std::string_view file) {
  std::string folder;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    folder = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    folder = std::string(home) + "/.config";
  } else {
    folder = "/tmp";
  }
  return folder + "/vokhaldex/" + std::string(file);
}

}  // namespace vok::linux_ini
