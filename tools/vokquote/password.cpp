// Reading the logon password from a file or the environment.
#include "password.h"

#include <cstdlib>
#include <fstream>

#include "system.h"

namespace vok::cli {

namespace {
constexpr std::size_t kMaxPassword = 1024;
}

void WipeText(std::string& text) {
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

bool ReadPassword(const std::string& file, std::string& password, std::string& error) {
  WipeText(password);
  if (file.empty()) {
    if (const char* value = std::getenv(kPasswordVariable)) password = value;
    return true;
  }
  // A directory opens as a stream on Linux and reads as nothing: that would log on without a password.
  if (IsDirectory(file)) {
    error = "the password file " + file + " is a directory";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot read the password file " + file;
    return false;
  }
  char c = 0;
  while (in.get(c) && c != '\n') {
    if (password.size() == kMaxPassword) {
      WipeText(password);
      error = "the first line of the password file " + file + " is longer than 1024 bytes";
      return false;
    }
    password += c;
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace vok::cli
