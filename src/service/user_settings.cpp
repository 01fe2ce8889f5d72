// The per-user settings record of service/user_settings.h over the platform's settings store and
// protected secret.
#include "service/user_settings.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "capture/capture_recorder.h"
#include "connection/quote_client.h"
#include "platform/protected_data.h"
#include "platform/settings_store.h"
#include "vkdll/vkdll.h"

namespace vok {
namespace {

constexpr char kServer[] = "Server";
constexpr char kUserName[] = "UserName";
constexpr char kPassword[] = "Password";
constexpr char kTraceFile[] = "TraceFile";
constexpr char kTraceLevel[] = "TraceLevel";
constexpr char kLogQuotes[] = "LogQuotes";
constexpr char kTestMode[] = "QuotesTestMode";
constexpr char kUseTls[] = "UseTls";
constexpr char kTlsCaFile[] = "TlsCaFile";
constexpr char kTlsPinnedCertificate[] = "TlsPinnedCertificate";
constexpr char kCaptureFile[] = "CaptureFile";
constexpr char kImmediateDelivery[] = "ImmediateDelivery";

bool WriteText(const char* name, const std::string& value) {
  return value.empty() ? CSettingsStore::DeleteValue("", name) : CSettingsStore::WriteString("", name, value);
}

bool ParsePort(std::string_view text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = value;
  return true;
}

}  // namespace

SUserSettings ReadUserSettings() {
  SUserSettings settings;
  CSettingsStore::ReadString("", kServer, settings.server);
  CSettingsStore::ReadString("", kUserName, settings.userName);
  CSettingsStore::ReadString("", kTraceFile, settings.traceFile);
  std::uint32_t value = 0;
  if (CSettingsStore::ReadDword("", kTraceLevel, value)) settings.traceLevel = value;
  value = 0;
  settings.logQuotes = CSettingsStore::ReadDword("", kLogQuotes, value) && value != 0;
  value = 0;
  settings.testMode = CSettingsStore::ReadDword("", kTestMode, value) && value != 0;
  value = 0;
  settings.useTls = CSettingsStore::ReadDword("", kUseTls, value) && value != 0;
  CSettingsStore::ReadString("", kTlsCaFile, settings.tlsCaFile);
  CSettingsStore::ReadString("", kTlsPinnedCertificate, settings.tlsPinnedCertificate);
  CSettingsStore::ReadString("", kCaptureFile, settings.captureFile);
  value = 0;
  settings.immediateDelivery = CSettingsStore::ReadDword("", kImmediateDelivery, value) && value != 0;
  return settings;
}

bool WriteUserSettings(const SUserSettings& settings) {
  bool ok = WriteText(kServer, settings.server);
  ok = WriteText(kUserName, settings.userName) && ok;
  ok = WriteText(kTraceFile, settings.traceFile) && ok;
  ok = (settings.traceLevel == 0 ? CSettingsStore::DeleteValue("", kTraceLevel)
                                 : CSettingsStore::WriteDword("", kTraceLevel, settings.traceLevel)) &&
       ok;
  ok = CSettingsStore::WriteDword("", kLogQuotes, settings.logQuotes ? 1 : 0) && ok;
  ok = CSettingsStore::WriteDword("", kTestMode, settings.testMode ? 1 : 0) && ok;
  ok = CSettingsStore::WriteDword("", kUseTls, settings.useTls ? 1 : 0) && ok;
  ok = WriteText(kTlsCaFile, settings.tlsCaFile) && ok;
  ok = WriteText(kTlsPinnedCertificate, settings.tlsPinnedCertificate) && ok;
  ok = WriteText(kCaptureFile, settings.captureFile) && ok;
  ok = CSettingsStore::WriteDword("", kImmediateDelivery, settings.immediateDelivery ? 1 : 0) && ok;
  return ok;
}

bool ReadUserPassword(std::string& transformed) {
  switch (ReadProtectedSecret(kPassword, transformed)) {
    case ProtectedReadResult::kRead:
      return true;
    case ProtectedReadResult::kMissing:
      return false;
    case ProtectedReadResult::kExposed:
      VOKTRACE_Printf(VOKTRACE_FAILURE,
                      "VokQuote settings: the stored password at %s is readable by others and is not used; "
                      "store it again through the settings class",
                      ProtectedSecretLocation(kPassword).c_str());
      return false;
    case ProtectedReadResult::kFailed:
      VOKTRACE_Printf(VOKTRACE_FAILURE, "VokQuote settings: the stored password at %s cannot be read",
                      ProtectedSecretLocation(kPassword).c_str());
      return false;
  }
  return false;
}

bool WriteUserPassword(std::string_view transformed) { return WriteProtectedSecret(kPassword, transformed); }

bool NormaliseSha256Fingerprint(std::string_view text, std::string& normalised) {
  // Either 64 digits, or 32 pairs with a colon between each two (95 characters).
  const bool separated = text.size() == 95;
  if (text.size() != 64 && !separated) return false;
  std::string digits;
  digits.reserve(64);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (separated && i % 3 == 2) {
      if (c != ':') return false;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  normalised = std::move(digits);
  return true;
}

bool ParseServerAddress(std::string_view text, std::string& host, int& port) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.empty()) return false;
  std::string_view name;
  std::string_view portText;
  if (text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    name = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      portText = rest.substr(1);
      if (portText.empty()) return false;
    }
  } else if (std::count(text.begin(), text.end(), ':') > 1) {
    name = text;  // an IPv6 address without brackets carries no port
  } else {
    const std::size_t colon = text.find(':');
    name = text.substr(0, colon);
    if (colon != std::string_view::npos) {
      portText = text.substr(colon + 1);
      if (portText.empty()) return false;
    }
  }
  if (name.empty() || name.find_first_of(" \t[]") != std::string_view::npos) return false;
  int parsedPort = port;
  if (!portText.empty() && !ParsePort(portText, parsedPort)) return false;
  host.assign(name);
  port = parsedPort;
  return true;
}

void ApplyUserConnectionDefaults(SQuoteClientSettings& settings) {
  if (!settings.address.empty() && !settings.userName.empty() && !settings.password.empty()) return;
  const SUserSettings user = ReadUserSettings();
  if (settings.address.empty() && !user.server.empty()) {
    if (ParseServerAddress(user.server, settings.address, settings.port)) {
      VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuotes::Connect: server %s port %d from the per-user settings",
                      settings.address.c_str(), settings.port);
    } else {
      VOKTRACE_Printf(VOKTRACE_FAILURE, "CVokQuotes::Connect: the per-user setting Server=\"%s\" is not host:port",
                      user.server.c_str());
    }
  }
  if (settings.userName.empty()) settings.userName = user.userName;
  if (settings.password.empty()) ReadUserPassword(settings.password);
}

void ApplyUserCaptureSetting() {
  std::string path;
  if (!CSettingsStore::ReadString("", kCaptureFile, path) || path.empty() || capture::Recording()) return;
  std::string error;
  // A file that cannot be used is traced by the recorder; the connection goes ahead regardless.
  capture::StartRecording(path, error);
}

}  // namespace vok
