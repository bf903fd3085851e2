// A Mosquitto broker on loopback for a test or a benchmark (scripts/broker.sh:
// a TCP and a WebSocket listener on free ports, a TLS one when asked), and
// subscribers that note every message they get. Both are stopped however the
// test ends: with their objects, and with the test process itself (a parent
// death signal), so no broker outlives a crashed test.
#pragma once

#include "tests/native/Child.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct BrokerOptions {
  std::string passwords{};  // a mosquitto_passwd file: anonymous clients refused
  std::string cert{};       // a TLS listener with this certificate and key
  std::string key{};
};

class Broker {
 public:
  // Starts the broker in `folder` (its configuration, log and persistence);
  // Running() says whether it listens.
  explicit Broker(std::string folder, BrokerOptions options = {});
  ~Broker();
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  bool Running() const { return broker_ != nullptr; }
  int Tcp() const { return tcp_; }
  int WebSocket() const { return ws_; }
  int Tls() const { return tls_; }
  // The processor time (user and system) the running broker has used.
  std::chrono::microseconds CpuTime() const;
  // The station's --publish URL for `prefix` on the TCP listener.
  std::string Url(const std::string& prefix) const;
  // Stops the broker (its persistence is written); Start takes the same
  // ports again.
  void Stop();
  bool Start();

 private:
  std::string folder_;
  BrokerOptions options_;
  int tcp_ = 0, ws_ = 0, tls_ = 0;
  int pid_ = 0;
  std::unique_ptr<Child> broker_;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained = false;
  int qos = 0;
};

// mosquitto_sub on `topic` (a filter such as "line/#"), QoS 1. With a
// `session` name the broker keeps its subscription and its messages while it
// is away or the broker restarts.
class Subscriber {
 public:
  Subscriber(const Broker& broker, std::string folder, const std::string& topic, const std::string& session = "");
  ~Subscriber();
  // The subscriber stops reading its socket, as a stalled dashboard or a
  // frozen system does, until the object goes.
  void StopReading();
  // Once its subscription is in place (a retained message may already have
  // come), or false after `timeout`.
  bool Subscribed(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  std::vector<Message> Messages() const;
  // The messages on `topic`.
  std::vector<Message> On(const std::string& topic) const;
  // Waits until `condition(Messages())` holds.
  template <class Condition>
  bool Until(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  std::string path_;
  int port_ = 0;
  std::unique_ptr<Child> child_;
};

#include "tests/native/Wait.h"

template <class Condition>
bool Subscriber::Until(Condition condition, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return condition(Messages()); }, timeout);
}
