// The CA file's certificates, or the ROOT store's, in a TLS context of our
// own, which then does what libmosquitto's own would: TLS 1.2 or later, the
// broker's certificate checked against them and against the host's name or
// address.
#include "publish/TrustedCertificates.h"

#include "runtime/base/UniqueHandle.h"

// <wincrypt.h> before OpenSSL's headers, which take back the names it defines.
#include <windows.h>
#include <wincrypt.h>

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace fwu::publish {
namespace {

struct CertificateStoreTraits {
  using Type = HCERTSTORE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CertCloseStore(h, 0); }
};
using UniqueCertificateStore = UniqueHandle<CertificateStoreTraits>;

struct FreeSslContext {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using UniqueSslContext = std::unique_ptr<SSL_CTX, FreeSslContext>;

struct FreeCertificate {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using UniqueCertificate = std::unique_ptr<X509, FreeCertificate>;

// How many of the ROOT store's certificates went into `trusted`: the user's
// and the machine's, as Windows shows them to this user. One OpenSSL cannot
// read is left out.
int AddRootCertificates(HCERTSTORE root, X509_STORE* trusted) {
  int added = 0;
  const CERT_CONTEXT* each = nullptr;
  while ((each = CertEnumCertificatesInStore(root, each))) {
    const unsigned char* der = each->pbCertEncoded;
    UniqueCertificate certificate(d2i_X509(nullptr, &der, static_cast<long>(each->cbCertEncoded)));
    if (certificate && X509_STORE_add_cert(trusted, certificate.get())) ++added;
  }
  return added;
}

bool CheckHost(SSL_CTX* context, const std::string& host) {
  X509_VERIFY_PARAM* check = SSL_CTX_get0_param(context);
  if (X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str())) return true;
  X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return X509_VERIFY_PARAM_set1_host(check, host.c_str(), host.size()) == 1;
}

// The ROOT store's certificates into `trusted`.
std::string TrustRootStore(X509_STORE* trusted) {
  UniqueCertificateStore root(CertOpenSystemStoreW(0, L"ROOT"));
  if (!root) return "cannot open the system's certificate store: give the broker's CA with --publish-ca FILE";
  if (AddRootCertificates(root.get(), trusted) == 0)
    return "the system's certificate store holds no root certificate: give the broker's CA with --publish-ca FILE";
  return {};
}

}  // namespace

std::string TrustCertificates(mosquitto* client, const std::string& caFile, const std::string& host) {
  // OpenSSL, first used here, is not to tear itself down at the process's
  // exit: a publishing thread left behind (a broker slow to answer at the end)
  // may still be inside it then.
  OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT, nullptr);
  UniqueSslContext context(SSL_CTX_new(TLS_client_method()));
  if (!context) return "out of memory";
  X509_STORE* trusted = SSL_CTX_get_cert_store(context.get());
  if (caFile.empty()) {
    if (std::string problem = TrustRootStore(trusted); !problem.empty()) return problem;
  } else if (!X509_STORE_load_file(trusted, caFile.c_str())) {
    return "cannot read the CA file " + caFile;
  }
  if (!SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) || !CheckHost(context.get(), host))
    return "out of memory";
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  // The context as it is: libmosquitto's defaults need a CA file or folder.
  int code = mosquitto_int_option(client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
  // The client holds a reference of its own.
  if (code == MOSQ_ERR_SUCCESS) code = mosquitto_void_option(client, MOSQ_OPT_SSL_CTX, context.get());
  return code == MOSQ_ERR_SUCCESS ? std::string() : mosquitto_strerror(code);
}

}  // namespace fwu::publish
