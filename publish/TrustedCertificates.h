// What the MQTT client's TLS trusts: a CA file, or the system's certificates.
// On Linux libmosquitto reads the file or the system's certificate folder
// itself. On Windows both go into a TLS context of ours: the system's
// certificates are those of the ROOT store, which OpenSSL does not read, and
// the file is opened by its UTF-8 name, which libmosquitto's own open would
// take for one in the ANSI code page.
//
// Return rules as in MqttClient.h: the reason it failed, empty when it worked.
#pragma once

#include <string>

struct mosquitto;

namespace fwu::publish {

// For a client that will connect to `host` (a name or an IP address, the
// one the broker's certificate must be for); `caFile` empty: the system's
// certificates.
std::string TrustCertificates(mosquitto* client, const std::string& caFile, const std::string& host);

}  // namespace fwu::publish
