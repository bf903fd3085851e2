// A station's publishing to the line's broker, on a thread of its own: the
// station's status (retained, QoS 1, with a last will that says it vanished),
// the live state of each port (retained, QoS 0) and every result (QoS 1) from
// the records, in order, each marked published once the broker has
// acknowledged it. Nothing here ever waits for the broker: the calls only
// hand over what is to go out, and return at once.
//
// While the broker cannot be reached (down, refusing the password or the
// certificate), the thread tries again with a pause that grows from 1 s to
// kLongestPause; each new problem is told once, through TakeProblem, for the
// caller to write where it writes. Results wait in the records meanwhile;
// live states keep only each port's latest, sent again once connected.
//
// Threads: the caller's thread makes the Publisher and calls every method.
// The publishing thread alone owns the MQTT client, the connection's state
// and the outbox. What passes between them (the live queue, the pending
// status, the news of results, the problems, the finish) is in Shared,
// guarded by its lock, which neither thread holds while it does anything
// else.
#pragma once

#include "publish/BrokerAddress.h"
#include "publish/LiveQueue.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace fwu::publish {

inline constexpr std::chrono::seconds kLongestPause{30};
inline constexpr int kKeepAliveSeconds = 10;

// The results still to publish, oldest first; used by the publishing thread
// alone. Return rules: a problem comes back as text, empty when there is none.
class ResultOutbox {
 public:
  virtual ~ResultOutbox() = default;
  struct Result {
    std::int64_t id = 0;
    std::string payload;
  };
  // The oldest result not yet published after `after` (an id), if any.
  virtual std::optional<Result> Next(std::int64_t after, std::string& problem) = 0;
  virtual std::string MarkPublished(std::int64_t id) = 0;
  // How many are not published, -1 when that cannot be read.
  virtual std::int64_t Unpublished() = 0;
};

struct PublisherSettings {
  BrokerAddress broker;
  std::optional<std::string> password;
  std::string caFile;     // mqtts: the certificates to trust instead of the system's
  std::string station;    // its topics' second level
  std::string clientId;   // unique to this process
  std::string lostStatus; // the status the broker publishes when the station vanishes
};

class Publisher {
 public:
  // Starts the publishing thread; it connects at once. Without an outbox,
  // no results are published.
  Publisher(PublisherSettings settings, std::unique_ptr<ResultOutbox> outbox);
  // Without Finish: the thread is told to end, and is waited for briefly.
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  // The station's status, replacing one not yet sent.
  void Status(std::string payload);
  void Port(LiveState state);
  // A result was recorded: the outbox has more.
  void ResultsWaiting();
  // Each problem once, as a line to show (without its end); none when there
  // is nothing new.
  std::optional<std::string> TakeProblem();
  // Publishes `lastStatus`, then waits until it and every result waiting are
  // acknowledged, at most `most` (when the broker cannot be reached now, it is
  // tried once more, not waited for). Returns how many results are not
  // published (-1: unknown).
  std::int64_t Finish(std::string lastStatus, std::chrono::milliseconds most);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace fwu::publish
