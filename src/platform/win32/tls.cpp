// Windows backend of the TLS client: Schannel through SSPI (secur32), so the DLL needs nothing the
// user must install. The credentials offer TLS 1.2 and 1.3 in the form current Windows wants
// (SCH_CREDENTIALS, naming what is disabled), and TLS 1.2 alone in the older form where that one
// is not known. The certificate is checked by hand after the handshake (manual validation):
// against a chain engine whose only root is the CA file, or the system's, with the SSL policy for
// the host name; or only its SHA-256 against the pin. Encryption and decryption run under one
// lock; socket reads and writes run outside it.
#define SECURITY_WIN32
// SCH_CREDENTIALS and TLS_PARAMETERS are declared only with this.
#define SCHANNEL_USE_BLACKLISTS
#include "platform/tls.h"

// Groups of their own, so that sorting keeps Winsock and windows.h before the security headers.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <subauth.h>

#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace vok {

namespace {

constexpr std::size_t kMaxRecord = 64 * 1024;  // more than one TLS record ever needs
// SECURITY_FLAG_IGNORE_CERT_CN_INVALID of wininet.h, which this file does not otherwise need.
constexpr DWORD kIgnoreNameMismatch = 0x00001000;
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kOlderThanTls12 = SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1;

// Owns a credentials handle, a security context, a certificate context, a store or a chain.
struct CCredentials {
  CredHandle handle{};
  bool valid = false;
  ~CCredentials() {
    if (valid) FreeCredentialsHandle(&handle);
  }
};
struct SCertFree {
  void operator()(const CERT_CONTEXT* cert) const { CertFreeCertificateContext(cert); }
};
struct SStoreClose {
  void operator()(void* store) const { CertCloseStore(store, 0); }
};
struct SChainFree {
  void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};
struct SEngineFree {
  void operator()(void* engine) const { CertFreeCertificateChainEngine(static_cast<HCERTCHAINENGINE>(engine)); }
};
using CertPtr = std::unique_ptr<const CERT_CONTEXT, SCertFree>;
using StorePtr = std::unique_ptr<void, SStoreClose>;
using ChainPtr = std::unique_ptr<const CERT_CHAIN_CONTEXT, SChainFree>;
using EnginePtr = std::unique_ptr<void, SEngineFree>;
struct SHandleClose {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using HandlePtr = std::unique_ptr<void, SHandleClose>;

std::string Hex(long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

// Waits until s is readable or the deadline passed.
bool WaitReadable(SOCKET s, std::uint64_t deadline) {
  for (;;) {
    const std::uint64_t now = MonotonicMs();
    if (now >= deadline) return false;
    const std::uint64_t left = deadline - now;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready > 0) return true;
    if (ready < 0) return false;
  }
}

// The certificate's SHA-256 as 64 lowercase hex digits (the pin is parsed back to compare bytes).
bool Sha256(const BYTE* data, DWORD size, unsigned char (&digest)[32]) {
  char hex[65];
  if (!Sha256Hex(std::string_view(reinterpret_cast<const char*>(data), size), hex)) return false;
  return ParseSha256Fingerprint(hex, digest);
}

// The CA file's certificates (PEM) in a memory store; null when none could be read.
// The file's bytes; nothing when it cannot be read or is larger than any certificate bundle.
// (Win32 rather than iostreams: those would drag the C++ locale machinery into the DLL.)
std::optional<std::string> ReadSmallFile(const std::string& path) {
  constexpr LONGLONG kMaxBytes = 16LL << 20;
  const HANDLE raw = ::CreateFileW(WideFromNarrow(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return std::nullopt;
  const HandlePtr file(raw);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxBytes) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return std::nullopt;
  }
  bytes.resize(read);
  return bytes;
}

StorePtr LoadCaFile(const std::string& path) {
  const std::optional<std::string> text = ReadSmallFile(path);
  if (!text) return nullptr;
  const std::string& pem = *text;
  StorePtr store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!store) return nullptr;
  int added = 0;
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const std::string end = "-----END CERTIFICATE-----";
  for (std::size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at + 1)) {
    const std::size_t stop = pem.find(end, at);
    if (stop == std::string::npos) break;
    const std::string block = pem.substr(at, stop + end.size() - at);
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
      continue;
    }
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr)) {
      continue;
    }
    if (CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                         nullptr)) {
      ++added;
    }
  }
  return added > 0 ? std::move(store) : nullptr;
}

std::string ChainErrorText(DWORD status) {
  switch (status) {
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return "certificate has expired";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "hostname mismatch";
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
      return "untrusted root (self-signed certificate or unknown CA)";
    case static_cast<DWORD>(CERT_E_CHAINING):
      return "unable to get local issuer certificate";
    case static_cast<DWORD>(CRYPT_E_REVOKED):
      return "certificate revoked";
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
      return "certificate signature failure";
    default:
      return "chain error " + Hex(static_cast<long>(status));
  }
}

// The chain's own verdict as the SSL policy reports it, 0 when it has none of the faults every
// TLS client refuses. Wine's SSL policy passes a chain that ends below any root (the server sent
// only its own certificate, from an unknown CA), so the chain is checked here as well.
DWORD ChainFault(const CERT_CHAIN_CONTEXT* chain) {
  const DWORD status = chain->TrustStatus.dwErrorStatus;
  if ((status & CERT_TRUST_IS_NOT_TIME_VALID) != 0) return static_cast<DWORD>(CERT_E_EXPIRED);
  if ((status & CERT_TRUST_IS_REVOKED) != 0) return static_cast<DWORD>(CRYPT_E_REVOKED);
  if ((status & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0) return static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
  if ((status & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC)) != 0) return static_cast<DWORD>(CERT_E_CHAINING);
  if ((status & (CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_INVALID_BASIC_CONSTRAINTS)) != 0) {
    return static_cast<DWORD>(TRUST_E_CERT_SIGNATURE);
  }
  return 0;
}

// The address bytes of an IPv4 or IPv6 literal; empty for a host name.
std::vector<BYTE> IpLiteral(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&v4);
    return std::vector<BYTE>(bytes, bytes + sizeof v4);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&v6);
    return std::vector<BYTE>(bytes, bytes + sizeof v6);
  }
  return {};
}

// Whether the certificate lists address among its IP address entries. The system's SSL policy
// does not match IP literals everywhere, so an address is checked here.
bool HasIpAddress(const CERT_CONTEXT* cert, const std::vector<BYTE>& address) {
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
  }
  LocalFree(names);
  return found;
}

// Outbound credentials for TLS 1.2 and 1.3; where SCH_CREDENTIALS is not known (Windows before
// 10 1809) the older SCHANNEL_CRED, which cannot ask for 1.3, asks for 1.2.
bool AcquireClientCredentials(CredHandle& handle) {
  TimeStamp expiry{};
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = static_cast<DWORD>(~(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT));
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kCredentialFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  if (AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &current,
                                nullptr, nullptr, &handle, &expiry) == SEC_E_OK) {
    return true;
  }
  SCHANNEL_CRED older{};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = kCredentialFlags;
  return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &older,
                                   nullptr, nullptr, &handle, &expiry) == SEC_E_OK;
}

}  // namespace

struct CTlsClient::SImpl {
  CSocket socket;
  CCredentials credentials;
  CtxtHandle context{};
  bool contextValid = false;
  SecPkgContext_StreamSizes sizes{};
  std::mutex lock;             // guards context (EncryptMessage, DecryptMessage, post-handshake messages)
  std::vector<char> incoming;  // received, not yet decrypted (reader thread)
  std::vector<char> plain;     // decrypted, not yet returned (reader thread)
  std::size_t plainOffset = 0;
  bool ended = false;                // the server sent its close (reader thread)
  bool postHandshake = false;        // incoming starts with a handshake message (reader thread)
  std::wstring target;               // the server's name, as the context was made for it
  const char* protocol = "TLS 1.2";  // set once by Connect
  std::atomic<bool> shutdown{false};

  ~SImpl() {
    if (contextValid) DeleteSecurityContext(&context);
  }
  SOCKET Sock() const { return static_cast<SOCKET>(socket.Get()); }

  bool SendToken(const SecBuffer& token) {
    return token.cbBuffer == 0 || socket.SendAll(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
  }

  bool Handshake(const std::wstring& target, std::uint64_t deadline, std::string& reason) {
    SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
    bool first = true;
    for (;;) {
      SecBuffer inBuffers[2] = {{static_cast<unsigned long>(incoming.size()), SECBUFFER_TOKEN, incoming.data()},
                                {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
      SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
      DWORD got = 0;
      status = InitializeSecurityContextW(
          &credentials.handle, first ? nullptr : &context, const_cast<wchar_t*>(target.c_str()), kContextFlags, 0, 0,
          first ? nullptr : &inDesc, 0, first ? &context : nullptr, &outDesc, &got, nullptr);
      if (first) contextValid = status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK;
      first = false;
      if (outBuffer.pvBuffer != nullptr) {
        const bool sent = SendToken(outBuffer);
        FreeContextBuffer(outBuffer.pvBuffer);
        if (!sent) {
          reason = "the server closed the connection during the handshake";
          return false;
        }
      }
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        status = SEC_I_CONTINUE_NEEDED;
      } else {
        // What the call did not use stays for the next one (or is the first application data).
        if (inBuffers[1].BufferType == SECBUFFER_EXTRA && inBuffers[1].cbBuffer <= incoming.size()) {
          incoming.erase(incoming.begin(), incoming.end() - inBuffers[1].cbBuffer);
        } else {
          incoming.clear();
        }
        if (status == SEC_E_OK) return true;
        if (status != SEC_I_CONTINUE_NEEDED) {
          reason = "the handshake failed, status " + Hex(status);
          return false;
        }
        if (!incoming.empty()) continue;
      }
      if (!ReadMore(deadline)) {
        reason = MonotonicMs() >= deadline ? "the handshake did not complete in time"
                                           : "the server closed the connection during the handshake";
        return false;
      }
    }
  }

  // Hands the handshake message at the start of incoming to the context: 1 when it was taken (what
  // follows it stays in incoming), 0 when it is not whole yet, -1 when the server wants more than
  // that (a TLS 1.2 renegotiation, which a quote server has no reason to ask for) or it failed.
  int TakePostHandshake() {
    SecBuffer inBuffers[2] = {{static_cast<unsigned long>(incoming.size()), SECBUFFER_TOKEN, incoming.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
    SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    DWORD got = 0;
    SECURITY_STATUS status;
    {
      std::lock_guard<std::mutex> guard(lock);
      status = InitializeSecurityContextW(&credentials.handle, &context, const_cast<wchar_t*>(target.c_str()),
                                          kContextFlags, 0, 0, &inDesc, 0, nullptr, &outDesc, &got, nullptr);
    }
    if (outBuffer.pvBuffer != nullptr) {
      const bool sent = SendToken(outBuffer);
      FreeContextBuffer(outBuffer.pvBuffer);
      if (!sent) return -1;
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) return 0;
    if (status != SEC_E_OK) return -1;
    if (inBuffers[1].BufferType == SECBUFFER_EXTRA && inBuffers[1].cbBuffer <= incoming.size()) {
      incoming.erase(incoming.begin(), incoming.end() - inBuffers[1].cbBuffer);
    } else {
      incoming.clear();
    }
    return 1;
  }

  // Appends what the socket has to incoming, waiting until the deadline (0: Receive's own wait).
  bool ReadMore(std::uint64_t deadline) {
    if (incoming.size() > kMaxRecord * 2) return false;
    char buffer[16384];
    int got = 0;
    if (deadline != 0) {
      if (!WaitReadable(Sock(), deadline)) return false;
      got = recv(Sock(), buffer, sizeof buffer, 0);
    } else {
      got = socket.Receive(buffer, sizeof buffer);
    }
    if (got <= 0) return false;
    incoming.insert(incoming.end(), buffer, buffer + got);
    return true;
  }

  bool Verify(const STlsClientOptions& options, const std::string& hostNarrow, const std::wstring& host,
              std::string& reason) {
    const CERT_CONTEXT* raw = nullptr;
    if (QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK || raw == nullptr) {
      reason = "certificate refused: the server sent none";
      return false;
    }
    const CertPtr cert(raw);
    if (!options.pinnedSha256.empty()) {
      unsigned char pin[32];
      unsigned char digest[32];
      if (!ParseSha256Fingerprint(options.pinnedSha256, pin) ||
          !Sha256(cert->pbCertEncoded, cert->cbCertEncoded, digest) || std::memcmp(pin, digest, 32) != 0) {
        reason = "certificate refused: its SHA-256 fingerprint does not match the pinned one";
        return false;
      }
      return true;
    }
    EnginePtr engine;
    StorePtr roots;
    if (!options.caFile.empty()) {
      roots = LoadCaFile(options.caFile);
      if (!roots) {
        reason = "certificate refused: the CA file " + options.caFile + " could not be read";
        return false;
      }
      CERT_CHAIN_ENGINE_CONFIG config{};
      config.cbSize = sizeof config;
      config.hExclusiveRoot = roots.get();
      HCERTCHAINENGINE created = nullptr;
      if (!CertCreateCertificateChainEngine(&config, &created)) {
        reason = "certificate refused: no chain engine for the CA file";
        return false;
      }
      engine.reset(created);
    }
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    const CERT_CHAIN_CONTEXT* rawChain = nullptr;
    if (!CertGetCertificateChain(static_cast<HCERTCHAINENGINE>(engine.get()), cert.get(), nullptr, cert->hCertStore,
                                 &chainPara, 0, nullptr, &rawChain)) {
      reason = "certificate refused: no chain could be built";
      return false;
    }
    const ChainPtr chain(rawChain);
    const std::vector<BYTE> address = IpLiteral(hostNarrow);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    if (!address.empty()) ssl.fdwChecks = kIgnoreNameMismatch;
    CERT_CHAIN_POLICY_PARA policyPara{};
    policyPara.cbSize = sizeof policyPara;
    policyPara.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS policyStatus{};
    policyStatus.cbSize = sizeof policyStatus;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policyPara, &policyStatus)) {
      reason = "certificate refused: the chain could not be checked";
      return false;
    }
    const DWORD fault = policyStatus.dwError != 0 ? policyStatus.dwError : ChainFault(chain.get());
    if (fault != 0) {
      reason = "certificate refused: " + ChainErrorText(fault);
      return false;
    }
    if (!address.empty() && !HasIpAddress(cert.get(), address)) {
      reason = "certificate refused: " + ChainErrorText(static_cast<DWORD>(CERT_E_CN_NO_MATCH));
      return false;
    }
    return true;
  }
};

CTlsClient::CTlsClient(std::unique_ptr<SImpl> impl) : m_impl(std::move(impl)) {}
CTlsClient::~CTlsClient() = default;

std::unique_ptr<CTlsClient> CTlsClient::Connect(CSocket socket, const STlsClientOptions& options,
                                                std::uint32_t timeoutMs, ETlsFailure& failure, std::string& reason) {
  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  failure = ETlsFailure::Handshake;
  auto impl = std::make_unique<SImpl>();
  impl->socket = std::move(socket);
  if (!AcquireClientCredentials(impl->credentials.handle)) {
    reason = "no TLS credentials";
    return nullptr;
  }
  impl->credentials.valid = true;
  const std::string hostNarrow = HostWithoutBrackets(options.serverName.c_str());
  const WideString wideHost = WideFromNarrow(hostNarrow);
  impl->target.assign(wideHost.begin(), wideHost.end());
  const std::wstring& host = impl->target;
  if (!impl->Handshake(host, deadline, reason)) return nullptr;
  SecPkgContext_ConnectionInfo info{};
  // The credentials already refuse older versions; a system that ignores that is caught here.
  if (QueryContextAttributesW(&impl->context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK ||
      (info.dwProtocol & kOlderThanTls12) != 0) {
    reason = "the server offers no TLS version from 1.2 up";
    return nullptr;
  }
  if ((info.dwProtocol & SP_PROT_TLS1_3) != 0) impl->protocol = "TLS 1.3";
  if (!impl->Verify(options, hostNarrow, host, reason)) {
    failure = ETlsFailure::Refused;
    return nullptr;
  }
  if (QueryContextAttributesW(&impl->context, SECPKG_ATTR_STREAM_SIZES, &impl->sizes) != SEC_E_OK) {
    reason = "no TLS record sizes";
    return nullptr;
  }
  failure = ETlsFailure::None;
  return std::make_unique<CTlsClient>(std::move(impl));
}

bool CTlsClient::SendAll(const char* data, std::size_t size, std::uint32_t) {
  // The socket's own send time-out bounds each write.
  SImpl& impl = *m_impl;
  const SecPkgContext_StreamSizes& sizes = impl.sizes;
  std::vector<char> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
  while (size > 0) {
    if (impl.shutdown.load()) return false;
    const std::size_t chunk = size < sizes.cbMaximumMessage ? size : sizes.cbMaximumMessage;
    std::memcpy(record.data() + sizes.cbHeader, data, chunk);
    SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                            {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + sizes.cbHeader},
                            {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + chunk},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status;
    {
      std::lock_guard<std::mutex> guard(impl.lock);
      status = EncryptMessage(&impl.context, 0, &desc, 0);
    }
    if (status != SEC_E_OK) return false;
    const std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (!impl.socket.SendAll(record.data(), total)) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

int CTlsClient::Receive(char* buffer, int size) {
  SImpl& impl = *m_impl;
  for (;;) {
    if (impl.shutdown.load()) return -1;
    if (impl.plainOffset < impl.plain.size()) {
      const std::size_t left = impl.plain.size() - impl.plainOffset;
      const std::size_t count = left < static_cast<std::size_t>(size) ? left : static_cast<std::size_t>(size);
      std::memcpy(buffer, impl.plain.data() + impl.plainOffset, count);
      impl.plainOffset += count;
      return static_cast<int>(count);
    }
    if (impl.ended) return 0;
    impl.plain.clear();
    impl.plainOffset = 0;
    if (impl.postHandshake && !impl.incoming.empty()) {
      const int taken = impl.TakePostHandshake();
      if (taken < 0) return -1;
      if (taken > 0) {
        impl.postHandshake = false;
        continue;
      }
    } else if (!impl.incoming.empty()) {
      SecBuffer buffers[4] = {{static_cast<unsigned long>(impl.incoming.size()), SECBUFFER_DATA, impl.incoming.data()},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      SECURITY_STATUS status;
      {
        std::lock_guard<std::mutex> guard(impl.lock);
        status = DecryptMessage(&impl.context, &desc, 0, nullptr);
      }
      if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED || status == SEC_I_RENEGOTIATE) {
        std::vector<char> extra;
        for (const SecBuffer& b : buffers) {
          if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
            const char* start = static_cast<const char*>(b.pvBuffer);
            impl.plain.insert(impl.plain.end(), start, start + b.cbBuffer);
          } else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) {
            extra.assign(impl.incoming.end() - b.cbBuffer, impl.incoming.end());
          }
        }
        impl.incoming.swap(extra);
        // The server's close ends the stream.
        if (status == SEC_I_CONTEXT_EXPIRED) impl.ended = true;
        // A handshake message after the handshake: under TLS 1.3 a session ticket or a key
        // update, which the context takes in from what follows.
        if (status == SEC_I_RENEGOTIATE) impl.postHandshake = true;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) return -1;
    }
    if (!impl.ReadMore(0)) return impl.shutdown.load() ? -1 : 0;
  }
}

const char* CTlsClient::Protocol() const { return m_impl->protocol; }

void CTlsClient::Shutdown() {
  m_impl->shutdown = true;
  m_impl->socket.Shutdown();
}

}  // namespace vok
