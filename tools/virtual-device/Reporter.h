// Where the device tells what happened: the raw byte log, the event file
// (one machine-readable line per event) and progress lines for a person.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Reporter {
 public:
  Reporter(const std::string& logFile, const std::string& eventsFile, bool quiet);
  ~Reporter();
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // False when a file could not be opened.
  bool Ready() const { return ready_; }
  // Appends received bytes to the log, raw, in arrival order.
  void Received(const std::uint8_t* bytes, std::size_t count);
  void Event(const std::string& line);
  void Progress(const std::string& line);

 private:
  int log_ = -1;
  int events_ = -1;
  bool quiet_;
  bool ready_ = true;
};

// Writes `text` to `path`, which appears only once complete; false on failure.
bool WriteFile(const std::string& path, const std::string& text);
