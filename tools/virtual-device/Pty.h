// The pseudo-terminal the device plays on. The device reads and writes the
// master; the program opens the slave (through Wine, or as a tty). The device
// holds no slave fd of its own, so that a program that looks for other users
// of its port finds none: it opens the slave only for a moment, to see how
// many bytes the program has not read yet. While no program has the slave
// open, the master reports a hang-up; the line and its settings last.
#pragma once

#include "SlaveOpens.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What the program set on the line, as tcgetattr on the master shows it.
struct LineSettings {
  unsigned long baud = 0;  // 0 when the speed is not a standard one
  int dataBits = 8;
  char parity = 'N';  // N, O, E, M, S
  int stopBits = 1;
  bool rtsCts = false;
  bool xonOut = false;  // IXON: output stops on XOFF
  bool xonIn = false;   // IXOFF: input sends XOFF when full

  bool operator==(const LineSettings&) const = default;
  // "57600 8 N 1"
  std::string Format() const;
  // "rtscts 0 ixon 1 ixoff 1"
  std::string FormatFlow() const;
  bool SameFormat(const LineSettings& other) const { return Format() == other.Format(); }
  bool SameFlow(const LineSettings& other) const { return FormatFlow() == other.FormatFlow(); }
  // 57600 baud, 8 data bits, no parity, one stop bit.
  bool IsUpload() const { return Format() == "57600 8 N 1"; }
};

class Pty {
 public:
  Pty() = default;
  ~Pty() { Close(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // Opens a raw pty; false (errno set) when none could be had.
  bool Open();
  void Close();
  bool IsOpen() const { return master_ >= 0; }
  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  LineSettings Settings() const;
  // Bytes the device wrote that no one has read from the slave yet; none
  // when the slave cannot be opened to look (a program holds it with
  // TIOCEXCL, and this process lacks CAP_SYS_ADMIN).
  std::optional<std::size_t> UnreadByProgram() const;
  // Bytes the program wrote that the device has not read yet.
  std::size_t UnreadByDevice() const;
  bool Write(const std::uint8_t* bytes, std::size_t count);
  // Opens of the slave by programs since the last call (none where inotify
  // cannot watch it).
  long OpensByPrograms() { return opens_.TakeOthers(); }
  // Writes bytes for the next program to find, the slave held open meanwhile
  // (some kernels refuse a write to a master whose slave no one has open).
  bool Preload(const std::uint8_t* bytes, std::size_t count);

 private:
  // The slave opened for a moment; -1 when it cannot be.
  int OpenSlave() const;

  int master_ = -1;
  std::string slavePath_;
  mutable SlaveOpens opens_;
};
