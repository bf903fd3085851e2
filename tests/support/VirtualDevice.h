// The virtual device (tools/virtual-device) as a test sees it: started on one
// bench port, its log and events files read back, stopped through its stop
// file. Every wait is bounded.
#pragma once

#include "tests/support/Process.h"

#include <chrono>
#include <string>
#include <vector>

class VirtualDevice {
 public:
  VirtualDevice() = default;
  // Stops the device if it still runs.
  ~VirtualDevice();
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  // Starts a device linked to COM<port> of the bench with the extra options
  // (--log, --events, --ready, --stop-file and --quiet are given here) and
  // waits for it to listen. False when it did not come up; Failure() then
  // says which step failed and why.
  bool Start(int port, const std::vector<std::wstring>& options = {});
  const std::string& Failure() const { return failure_; }
  // Asks the device to stop and waits until it has removed its link.
  bool Stop();

  std::wstring PortName() const { return L"COM" + std::to_wstring(port_); }
  // Every byte the device received so far.
  std::string Log() const;
  // The complete event lines so far.
  std::vector<std::string> Events() const;
  // The last event line starting with `prefix`, or empty.
  std::string LastEvent(const std::string& prefix) const;
  bool HasEvent(const std::string& line) const;
  bool WaitForEvent(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Waits until the last event starting with `prefix` is `line`: the state a
  // setting has settled in.
  bool WaitForLastEvent(const std::string& prefix, const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Waits until the device has received `count` bytes in all.
  bool WaitForLog(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  std::wstring File(const wchar_t* name) const { return folder_ + L"\\" + name; }
  std::string UnixFile(const char* name) const { return unixFolder_ + "/" + name; }

  ChildProcess process_;
  int port_ = 0;
  std::wstring folder_;  // Windows path of the device's files
  std::string unixFolder_;
  bool running_ = false;
  std::string failure_;
};

// The contents of a file, or empty.
std::string ReadWholeFile(const std::wstring& path);
// Wine's serial ports let a second open of a busy port through; tests of the
// exclusive open skip there.
bool RunningUnderWine();
