// The pseudo-terminal the device plays on. The device reads and writes the
// master; the program opens the slave through Wine. The device keeps a slave
// fd of its own as well: the line then survives every close by the program
// (no hang-up on the master), and FIONREAD on it tells how many bytes the
// program has not read yet.
#pragma once

#include <cstddef>
#include <cstdint>
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
  // Bytes the device wrote that no one has read from the slave yet.
  std::size_t UnreadByProgram() const;
  // Bytes the program wrote that the device has not read yet.
  std::size_t UnreadByDevice() const;
  bool Write(const std::uint8_t* bytes, std::size_t count);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};
