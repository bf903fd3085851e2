#include "publish/TrustedCertificates.h"

#include <mosquitto.h>

namespace fwu::publish {

// libmosquitto checks the certificate against the host it connects to.
std::string TrustCertificates(mosquitto* client, const std::string& caFile, const std::string&) {
  int code = caFile.empty() ? mosquitto_tls_set(client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                            : mosquitto_tls_set(client, caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
  if (code == MOSQ_ERR_INVAL) return "cannot read the CA file " + caFile;
  return code == MOSQ_ERR_SUCCESS ? std::string() : mosquitto_strerror(code);
}

}  // namespace fwu::publish
