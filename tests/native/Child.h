// A program the test starts, its standard output and error going to files.
// The destructor kills and reaps it if it still runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class Child {
 public:
  // Starts `program` with `arguments`; Running() says whether it did.
  Child(const std::string& program, const std::vector<std::string>& arguments, const std::string& stdoutPath,
        const std::string& stderrPath);
  // Starts `program` once `prepare` has set up the new process (its standard
  // streams, its limits): it runs in the child, between fork and exec, and
  // returns false when it could not.
  Child(const std::string& program, const std::vector<std::string>& arguments,
        const std::function<bool()>& prepare);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }
  // The exit status once the program has ended within `timeout` (minus the
  // signal's number when a signal ended it); none when it still runs.
  std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  void Signal(int signal);
  // The processor time (user and system) it used, once it has ended.
  std::chrono::microseconds CpuTime() const { return cpuTime_; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::chrono::microseconds cpuTime_{};
};
