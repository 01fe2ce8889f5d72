// The component's per-user settings as one record: the connection defaults that a service object
// uses when its host configures none ("Server", "UserName", the protected "Password"), and the
// trace and test settings ("TraceFile", "TraceLevel", "LogQuotes", "QuotesTestMode"), and the TLS
// settings ("UseTls", "TlsCaFile", "TlsPinnedCertificate"; the connection reads those itself at
// every connect), "CaptureFile", the file that records what the server sends, and "ImmediateDelivery"
// (read by each new service object). Read and written whole by the settings class; read at Connect
// by the service object. Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct SQuoteClientSettings;

namespace vok {

struct SUserSettings {
  std::string server;  // "host:port", "[IPv6]:port", or a host alone
  std::string userName;
  std::string traceFile;
  std::uint32_t traceLevel = 0;  // 0: the default
  bool logQuotes = false;
  bool testMode = false;
  bool useTls = false;
  std::string tlsCaFile;
  std::string tlsPinnedCertificate;  // 64 uppercase hex digits, or empty: no pin
  std::string captureFile;           // empty: no recording
  bool immediateDelivery = false;    // wake a subscriber's loop at once instead of on its timer
};

// Missing values read as the defaults above.
SUserSettings ReadUserSettings();
// Writes every value (an empty text or a zero level removes it); false when any write failed.
bool WriteUserSettings(const SUserSettings& settings);

// The transformed password: stored protected, refused (with a failure trace) where others could
// read it. False when there is none to use.
bool ReadUserPassword(std::string& transformed);
// Stores the transformed password protected; an empty text removes it.
bool WriteUserPassword(std::string_view transformed);

// The SHA-256 fingerprint as stored: 64 hex digits, bare or as colon-separated pairs, either case,
// become 64 uppercase digits. False, and nothing changed, for anything else.
bool NormaliseSha256Fingerprint(std::string_view text, std::string& normalised);

// Splits "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address; the port must be 1 to
// 65535 and is left as it was when the text has none. False, and nothing changed, when malformed.
bool ParseServerAddress(std::string_view text, std::string& host, int& port);

// Fills in what the host left unset from the per-user settings: address and port (as one), user
// name, password. What the host set stays.
void ApplyUserConnectionDefaults(SQuoteClientSettings& settings);

// Starts recording into the per-user "CaptureFile", unless it is unset or a recording runs.
void ApplyUserCaptureSetting();

}  // namespace vok
