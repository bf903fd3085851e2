// What fwupload needs of the system it runs on: each platform's folder
// (cli/linux/, cli/windows/) implements these, and nothing else in cli/
// includes a system header.
//
// Return rules: OpenLine gives no line when the port cannot be opened, is not
// a serial port, cannot take the line settings, or another program holds it,
// and then says why. WriteStandard gives why a stream took not all of a text.
// Every other call always succeeds (ListPorts gives an empty list and
// OutputTerminalSize none when the system tells nothing).
#pragma once

#include "cli/SeenPort.h"
#include "protocol/UploadEngine.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwu::cli {

// main's arguments, as UTF-8 text.
struct Utf8Arguments {
  int count = 0;
  const char* const* values = nullptr;
};

// The process made ready for fwupload, once its standard streams are open.
// The arguments come back as UTF-8 (on Windows read anew from the wide
// command line, so that any file name works), and on Windows the console
// shows UTF-8 text until the program ends. Call once.
Utf8Arguments PrepareProcess(int argc, char** argv);

// An opened line, or none and why: one line of the system's words, with what
// to do where that is known (empty when nothing more is known).
struct LineOpening {
  std::unique_ptr<SerialLine> line;
  std::string reason;
};

// Opens `port` (a name as NormalizePortName gives it) for the upload alone,
// set as the window sets its line: kBaudRate, 8 data bits, no parity, one
// stop bit, no flow control, RTS off, DTR as the port had it. Closing the
// line (destroying it) drops whatever it has not sent yet and frees the port.
LineOpening OpenLine(const std::string& port);

// The clock a run waits on. Its Delay must keep close to the time asked
// for: a reply wait counts kReplyPolls delays of kPollInterval.
std::unique_ptr<Clock> MakeRunClock();

// The name a port goes by, from what the user typed: on Linux a bare
// "ttyUSB0" is "/dev/ttyUSB0".
std::string NormalizePortName(std::string_view name);

// A key that two names of the same device share (a port named twice, or
// through a link), from a name as NormalizePortName gives it. On Windows the
// names of a port compare without case, with or without "\\.\".
std::string PortIdentity(const std::string& port);

// A serial port and what the system knows of it; empty where it knows nothing.
struct PortInfo {
  std::string name;
  std::string description;  // USB product, or the system's friendly name
  std::string usbId;        // "vvvv:pppp", hex
  std::string serial;
};
std::vector<PortInfo> ListPorts();

// The ports that exist now and match one of `patterns` (on Linux globs such
// as "/dev/ttyUSB*", character devices only; on Windows "COM*", "COM1?"),
// in the order of the patterns, then of the names.
std::vector<SeenPort> FindPorts(const std::vector<std::string>& patterns);
// What a station watches when it is given no pattern.
std::vector<std::string> DefaultWatchPatterns();

// The machine's name, as the network knows it (a station's name by default).
std::string HostName();

// Makes standard input, output and error open (onto the null device where
// whoever started the program closed them, or on Windows left them missing or
// invalid), so that no file or port opened later takes their place. Call
// first thing.
void KeepStandardStreamsOpen();

// From now on, an interrupt from the user (Ctrl+C, a termination request, a
// hang-up) sets `interrupted` instead of ending the program, and a reader
// that went away makes writes fail instead of ending it; on Windows a second
// Ctrl+C ends it at once. Call once, at start.
void CatchInterrupts(std::atomic<bool>& interrupted);

// True when standard output is a terminal that redraws lines in place, made
// ready for it.
bool PrepareLiveOutput();

// The size of the terminal standard output goes to, now; none when it is no
// terminal.
struct TerminalSize {
  int columns = 0;
  int rows = 0;
};
std::optional<TerminalSize> OutputTerminalSize();

// Writes all of `text` to standard output or error, waiting while the reader
// is slow (from the main thread only: it may block). Gives none when all of it
// was written, else why not in the system's words: a broken pipe, a full disk,
// a closed console, or a reader that took nothing for a moment once the user
// has interrupted the program.
enum class StandardStream { kOutput, kError };
std::optional<std::string> WriteStandard(StandardStream stream, std::string_view text);

}  // namespace fwu::cli
