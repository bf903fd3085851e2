// A thin layer over libmosquitto: one client, driven by the thread that owns
// it (every call, and every callback, on that thread).
//
// Return rules: a call that can fail returns the reason as text, empty when it
// worked. Publish returns the message's id (for its acknowledgement), or none
// with the reason.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

struct mosquitto;

namespace fwu::publish {

struct ClientEvents {
  std::function<void(int code, std::string reason)> connected;  // code 0: accepted
  std::function<void()> disconnected;
  std::function<void(int id)> acknowledged;                       // QoS 1: the broker has it
};

struct Will {
  std::string topic;
  std::string payload;
};

class MqttClient {
 public:
  MqttClient(const std::string& clientId, ClientEvents events);
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  std::string Credentials(const std::string& user, const std::optional<std::string>& password);
  // TLS with `caFile`, or the system's certificates when empty, for a broker
  // reached as `host`.
  std::string Tls(const std::string& caFile, const std::string& host);
  // A retained QoS 1 message the broker publishes when the client vanishes.
  std::string SetWill(const Will& will);
  // Starts connecting without waiting for the network (a host that drops
  // packets holds up nothing: Loop goes on until the caller gives up); only a
  // host name is looked up first. The answer comes to `connected` from Loop.
  std::string Connect(const std::string& host, int port, int keepAliveSeconds);
  // Sends and receives what is due, waiting up to `milliseconds` for the
  // network.
  std::string Loop(int milliseconds);
  void Disconnect();

  struct Published {
    std::optional<int> id;
    std::string problem;
  };
  Published Publish(const std::string& topic, const std::string& payload, int qos, bool retain);

 private:
  struct Free {
    void operator()(mosquitto* client) const;
  };
  std::unique_ptr<mosquitto, Free> client_;
  ClientEvents events_;
};

}  // namespace fwu::publish
