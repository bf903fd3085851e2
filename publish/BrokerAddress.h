// Where a station publishes: mqtt://[USER@]HOST[:PORT]/PREFIX or mqtts://...
// (TLS). The password never comes in the address, where every user of the
// machine could read it on the command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fwu::publish {

struct BrokerAddress {
  bool tls = false;
  std::string user;    // empty: none
  std::string host;    // without brackets for an IPv6 address
  int port = 0;        // 1883 for mqtt, 8883 for mqtts when not given
  std::string prefix;  // the topics' first levels, without a slash at either end
  // The address as a person reads it in a message (no user).
  std::string Shown() const;
};

// Return rules: exactly one of `address` and `error` is set.
struct ParsedBrokerAddress {
  std::optional<BrokerAddress> address;
  std::string error;
};

ParsedBrokerAddress ParseBrokerUrl(std::string_view url);

}  // namespace fwu::publish
