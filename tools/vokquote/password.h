// Where vokquote gets the logon password: the first line of --password-file, else the environment
// variable VOKQUOTE_PASSWORD, else none. Error texts name the file, never its content.
#pragma once

#include <string>

namespace vok::cli {

inline constexpr const char* kPasswordVariable = "VOKQUOTE_PASSWORD";

// False with a one-line error when the file cannot be read or its first line is longer than
// 1024 bytes.
bool ReadPassword(const std::string& file, std::string& password, std::string& error);

// Overwrites the text before it is released, so the clear password does not linger in freed memory.
void WipeText(std::string& text);

}  // namespace vok::cli
