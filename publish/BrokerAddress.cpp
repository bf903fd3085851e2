#include "publish/BrokerAddress.h"

#include <charconv>

namespace fwu::publish {
namespace {

ParsedBrokerAddress Refused(std::string why) { return {std::nullopt, std::move(why)}; }

// "HOST[:PORT]" or "[V6]:PORT" into `address`; false when it is not one.
bool TakeHostAndPort(std::string_view text, BrokerAddress& address) {
  std::string_view port;
  if (text.starts_with('[')) {
    std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    address.host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return false;
    if (!rest.empty()) port = rest.substr(1);
  } else {
    std::size_t colon = text.rfind(':');
    address.host = text.substr(0, colon);
    if (colon != std::string_view::npos) port = text.substr(colon + 1);
  }
  if (address.host.empty()) return false;
  if (port.empty()) return true;
  auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), address.port);
  return error == std::errc() && end == port.data() + port.size() && address.port > 0 && address.port < 65536;
}

}  // namespace

std::string BrokerAddress::Shown() const {
  std::string host_ = host.find(':') == std::string::npos ? host : "[" + host + "]";
  return std::string(tls ? "mqtts://" : "mqtt://") + host_ + ":" + std::to_string(port) + "/" + prefix;
}

ParsedBrokerAddress ParseBrokerUrl(std::string_view url) {
  BrokerAddress address;
  if (url.starts_with("mqtts://")) {
    address.tls = true;
    url.remove_prefix(8);
  } else if (url.starts_with("mqtt://")) {
    url.remove_prefix(7);
  } else {
    return Refused("--publish takes mqtt://[USER@]HOST[:PORT]/PREFIX or mqtts://...");
  }
  std::size_t slash = url.find('/');
  std::string_view authority = url.substr(0, slash);
  std::string_view prefix = slash == std::string_view::npos ? std::string_view() : url.substr(slash + 1);
  while (prefix.ends_with('/')) prefix.remove_suffix(1);
  if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    address.user = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    if (address.user.find(':') != std::string::npos)
      return Refused("no password in the --publish URL: give it in FWUPLOAD_MQTT_PASSWORD or --publish-password-file");
    if (address.user.empty()) return Refused("an empty user name in the --publish URL");
  }
  if (!TakeHostAndPort(authority, address)) return Refused("no HOST[:PORT] in the --publish URL");
  if (address.port == 0) address.port = address.tls ? 8883 : 1883;
  if (prefix.empty()) return Refused("no topic PREFIX in the --publish URL (mqtt://HOST/PREFIX)");
  if (prefix.find_first_of("+#") != std::string_view::npos || prefix.find("//") != std::string_view::npos)
    return Refused("the --publish PREFIX holds an empty level, a '+' or a '#'");
  address.prefix = prefix;
  return {std::move(address), {}};
}

}  // namespace fwu::publish
