// TLS checked against the system's certificates, for the MQTT client. On
// Linux libmosquitto reads the system's certificate folder; on Windows the
// certificates are those of the ROOT store, which OpenSSL does not read
// itself, given to the client in a TLS context of ours.
//
// Return rules as in MqttClient.h: the reason it failed, empty when it worked.
#pragma once

#include <string>

struct mosquitto;

namespace fwu::publish {

// For a client that will connect to `host` (a name or an IP address, the
// one the broker's certificate must be for).
std::string TrustSystemCertificates(mosquitto* client, const std::string& host);

}  // namespace fwu::publish
