// Throwaway certificates for TLS tests and benchmarks, made with libcrypto when a test starts and
// removed with their temporary folder: a CA, and server certificates signed by it (one valid for
// localhost and 127.0.0.1, one expired, one for another host name) plus a self-signed one. All
// servers share one key. Linux only; the Windows tests get theirs from a Linux program that keeps
// them in a folder the test run names.
#pragma once

#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace vok::test {

class CTestCertificates {
 public:
  enum EServer { kValid, kExpired, kOtherHost, kSelfSigned, kServerCount };

  // In a temporary folder that goes with the object.
  CTestCertificates() {
    char folder[] = "/tmp/vok-tls-XXXXXX";
    if (mkdtemp(folder) == nullptr) return;
    m_folder = folder;
    m_ownsFolder = true;
    Generate();
  }
  // In folder (created when missing), where the files stay.
  explicit CTestCertificates(const std::string& folder) : m_folder(folder) {
    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    if (!error) Generate();
  }
  ~CTestCertificates() {
    std::error_code ignored;
    if (m_ownsFolder) std::filesystem::remove_all(m_folder, ignored);
  }
  CTestCertificates(const CTestCertificates&) = delete;
  CTestCertificates& operator=(const CTestCertificates&) = delete;

  bool Ok() const { return m_ok; }
  std::string CaFile() const { return m_folder + "/ca.pem"; }
  std::string KeyFile() const { return m_folder + "/server.key"; }
  std::string CertFile(EServer server) const { return m_folder + "/server" + std::to_string(server) + ".pem"; }
  // SHA-256 of the certificate, 64 upper-case hex digits.
  const std::string& Fingerprint(EServer server) const { return m_fingerprints[server]; }

 private:
  struct SKeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  };
  struct SCertFree {
    void operator()(X509* cert) const { X509_free(cert); }
  };
  using Key = std::unique_ptr<EVP_PKEY, SKeyFree>;
  using Cert = std::unique_ptr<X509, SCertFree>;

  void Generate() {
    const Key caKey(EVP_EC_gen("P-256"));
    const Key serverKey(EVP_EC_gen("P-256"));
    if (!caKey || !serverKey || !WriteKey(serverKey.get(), KeyFile())) return;
    const Cert ca = Make(caKey.get(), "VokQuote Test CA", nullptr, nullptr, -1, 30, nullptr);
    if (!ca || !WriteCert(ca.get(), CaFile())) return;
    struct SSpec {
      const char* altNames;
      long fromDays;
      long toDays;
      bool selfSigned;
    };
    const SSpec specs[kServerCount] = {{"DNS:localhost,IP:127.0.0.1", -1, 30, false},
                                       {"DNS:localhost,IP:127.0.0.1", -30, -1, false},
                                       {"DNS:quotes.invalid", -1, 30, false},
                                       {"DNS:localhost,IP:127.0.0.1", -1, 30, true}};
    for (int i = 0; i < kServerCount; ++i) {
      const SSpec& spec = specs[i];
      const Cert cert =
          spec.selfSigned
              ? Make(serverKey.get(), "localhost", nullptr, nullptr, spec.fromDays, spec.toDays, spec.altNames)
              : Make(serverKey.get(), "localhost", ca.get(), caKey.get(), spec.fromDays, spec.toDays, spec.altNames);
      if (!cert || !WriteCert(cert.get(), CertFile(static_cast<EServer>(i)))) return;
      unsigned char digest[32];
      unsigned int length = 0;
      X509_digest(cert.get(), EVP_sha256(), digest, &length);
      std::string& hex = m_fingerprints[i];
      for (unsigned int b = 0; b < length; ++b) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", digest[b]);
        hex += pair;
      }
    }
    m_ok = true;
  }

  // issuer null: self-signed; altNames null: a CA certificate.
  static Cert Make(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long fromDays, long toDays,
                   const char* altNames) {
    static long s_serial = 1;
    Cert cert(X509_new());
    if (!cert) return nullptr;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++s_serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), toDays * 86400);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer != nullptr ? issuer : cert.get(), cert.get(), nullptr, nullptr, 0);
    auto add = [&](int nid, const char* value) {
      X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
      if (extension == nullptr) return false;
      X509_add_ext(cert.get(), extension, -1);
      X509_EXTENSION_free(extension);
      return true;
    };
    const bool extended =
        altNames == nullptr
            ? add(NID_basic_constraints, "critical,CA:TRUE") && add(NID_key_usage, "critical,keyCertSign")
            : add(NID_basic_constraints, "CA:FALSE") && add(NID_subject_alt_name, altNames);
    if (!extended) return nullptr;
    // Wine's chain check calls an ECDSA signature invalid when r or s is shorter than 32 bytes
    // (about one signature in 128), which would refuse a good certificate in the Windows tests
    // now and then; such a signature is made again.
    for (int attempt = 0; attempt < 32; ++attempt) {
      if (X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) == 0) return nullptr;
      if (FullLengthSignature(cert.get())) return cert;
    }
    return nullptr;
  }
  static bool FullLengthSignature(const X509* cert) {
    const ASN1_BIT_STRING* signature = nullptr;
    X509_get0_signature(&signature, nullptr, cert);
    const unsigned char* der = ASN1_STRING_get0_data(signature);
    ECDSA_SIG* parsed = d2i_ECDSA_SIG(nullptr, &der, ASN1_STRING_length(signature));
    if (parsed == nullptr) return false;
    const bool full = BN_num_bytes(ECDSA_SIG_get0_r(parsed)) == 32 && BN_num_bytes(ECDSA_SIG_get0_s(parsed)) == 32;
    ECDSA_SIG_free(parsed);
    return full;
  }
  static bool WriteCert(X509* cert, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = PEM_write_X509(file, cert) == 1;
    return std::fclose(file) == 0 && written;
  }
  static bool WriteKey(EVP_PKEY* key, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(file) == 0 && written;
  }

  std::string m_folder;
  bool m_ownsFolder = false;
  std::string m_fingerprints[kServerCount];
  bool m_ok = false;
};

}  // namespace vok::test
