// Files by path, for the capture writer: what a path names (its size for a regular file) and
// cutting a file short. Paths are UTF-8. (Here rather than std::filesystem, which on Windows
// statically links the C++ locale machinery into the DLL for its path conversions.)
#pragma once

#include <cstdint>
#include <string>

namespace vok {

enum class EFileKind { Missing, Regular, Other };

// The kind of what path names and, for a regular file, its size in bytes; false when the system
// cannot tell (no permission, a bad path).
bool InspectFile(const std::string& path, EFileKind& kind, std::int64_t& size);

// Cuts the regular file at path to size bytes.
bool TruncateFile(const std::string& path, std::int64_t size);

}  // namespace vok
