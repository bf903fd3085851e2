// fwupload's command line: what the user asked for, or the one-line reason
// it is not a use of fwupload.
//
//   fwupload --port PORT [--port PORT]... [--pace byte|stream] [--json] [--quiet] FILE
//   fwupload --watch [--port PATTERN]... [--count N] [--present] [--again] [--reboot-window S]
//                    [--pace byte|stream] [--json] [--quiet] FILE
//   fwupload --list [--json]
//   fwupload --help | --version
#pragma once

#include "protocol/Pace.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwu::cli {

enum class Action { kUpload, kList, kHelp, kVersion, kWatch };

struct Command {
  Action action = Action::kUpload;
  std::vector<std::string> ports;  // normalised, in the order given
  std::string file;
  bool json = false;
  bool quiet = false;
  // --watch: `ports` holds the patterns (none: the platform's own).
  bool present = false;        // update the ports present at start too
  bool serialsAgain = false;   // update a USB serial number already updated
  std::optional<int> count{};  // end after this many updates
  Pace pace = Pace::kByte;     // --port and --watch: how the body goes
  std::optional<std::chrono::milliseconds> rebootWindow{};  // a board's reboot, where not the usual
};

// Return rules: exactly one of `command` and `error` is set.
struct ParsedArguments {
  std::optional<Command> command;
  std::string error;
};

using PortNormalizer = std::function<std::string(std::string_view)>;

ParsedArguments ParseArguments(int argc, const char* const* argv, const PortNormalizer& normalize);

// The forms of the command line, one a line.
std::string_view UsageText();
// The usage and what each option does.
std::string HelpText();

}  // namespace fwu::cli
