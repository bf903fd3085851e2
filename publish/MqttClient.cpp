#include "publish/MqttClient.h"

#include "publish/TrustedCertificates.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace fwu::publish {
namespace {

MqttClient& Of(void* self) { return *static_cast<MqttClient*>(self); }

std::string Reason(int code) {
  if (code == MOSQ_ERR_SUCCESS) return {};
  if (code == MOSQ_ERR_ERRNO) return std::strerror(errno);
  if (code == MOSQ_ERR_TLS) return "the TLS handshake failed (the broker's certificate is not trusted, or not for this host)";
  return mosquitto_strerror(code);
}

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

void MqttClient::Free::operator()(mosquitto* client) const { mosquitto_destroy(client); }

MqttClient::MqttClient(const std::string& clientId, ClientEvents events) : events_(std::move(events)) {
  InitOnce();
  client_.reset(mosquitto_new(clientId.c_str(), true, this));
  if (!client_) return;
  mosquitto_int_option(client_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(client_.get(), [](mosquitto*, void* self, int code) {
    Of(self).events_.connected(code, code ? mosquitto_connack_string(code) : "");
  });
  mosquitto_disconnect_callback_set(client_.get(), [](mosquitto*, void* self, int) { Of(self).events_.disconnected(); });
  mosquitto_publish_callback_set(client_.get(), [](mosquitto*, void* self, int id) { Of(self).events_.acknowledged(id); });
}

MqttClient::~MqttClient() = default;

std::string MqttClient::Credentials(const std::string& user, const std::optional<std::string>& password) {
  if (!client_) return "out of memory";
  if (user.empty() && !password) return {};
  return Reason(mosquitto_username_pw_set(client_.get(), user.empty() ? nullptr : user.c_str(),
                                          password ? password->c_str() : nullptr));
}

std::string MqttClient::Tls(const std::string& caFile, const std::string& host) {
  if (!client_) return "out of memory";
  return TrustCertificates(client_.get(), caFile, host);
}

std::string MqttClient::SetWill(const Will& will) {
  if (!client_) return "out of memory";
  return Reason(mosquitto_will_set(client_.get(), will.topic.c_str(), static_cast<int>(will.payload.size()),
                                   will.payload.data(), 1, true));
}

std::string MqttClient::Connect(const std::string& host, int port, int keepAliveSeconds) {
  if (!client_) return "out of memory";
  return Reason(mosquitto_connect_async(client_.get(), host.c_str(), port, keepAliveSeconds));
}

std::string MqttClient::Loop(int milliseconds) {
  if (!client_) return "out of memory";
  return Reason(mosquitto_loop(client_.get(), milliseconds, 1));
}

void MqttClient::Disconnect() {
  if (client_) mosquitto_disconnect(client_.get());
}

MqttClient::Published MqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
  if (!client_) return {std::nullopt, "out of memory"};
  int id = 0;
  int code = mosquitto_publish(client_.get(), &id, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                               qos, retain);
  if (code != MOSQ_ERR_SUCCESS) return {std::nullopt, Reason(code)};
  return {id, {}};
}

}  // namespace fwu::publish
