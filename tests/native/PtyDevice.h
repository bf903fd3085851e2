// The virtual device (tools/virtual-device) on a pty of its own, as native
// tests and benchmarks drive it: its port is a link in the caller's folder,
// its log and events are files there, and it stops through its stop file.
// Every wait is bounded.
#pragma once

#include "tests/native/Child.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class PtyDevice {
 public:
  // Starts a device named `name` in `folder` with the extra options and
  // waits for it to listen; Ready() says whether it came up.
  PtyDevice(const std::string& folder, const std::string& name, const std::vector<std::string>& options = {});
  // Stops the device if it still runs.
  ~PtyDevice();

  bool Ready() const { return ready_; }
  // The port: a link to the pty's slave.
  const std::string& Port() const { return port_; }
  // Every byte the device received so far.
  std::string Log() const;
  std::vector<std::string> Events() const;
  bool HasEvent(const std::string& line) const;
  // The last event starting with `prefix`, or empty.
  std::string LastEvent(const std::string& prefix) const;
  bool WaitForEvent(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  bool WaitForEventStarting(const std::string& prefix,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Asks the device to end and waits until it has.
  void Stop();
  // How often programs opened the line: the device reports each open a
  // moment after it, and every one on its way out, so the count is complete
  // once Stop() has returned.
  int Opens() const;

 private:
  std::string File(const char* suffix) const { return base_ + suffix; }

  std::string base_;
  std::string port_;
  std::unique_ptr<Child> process_;
  bool ready_ = false;
};
