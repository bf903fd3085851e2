// fwupload's command line: what the user asked for, or the one-line reason
// it is not a use of fwupload.
//
//   fwupload --port PORT [--port PORT]... [--json] [--quiet] [PUBLISHING] FILE
//   fwupload --watch [--port PATTERN]... [--count N] [--present] [--again] [--json] [--quiet] [PUBLISHING] FILE
//     PUBLISHING: --publish URL [--publish-ca FILE] [--publish-password-file FILE] [--station NAME]
//   fwupload --list [--json]
//   fwupload --help | --version
#pragma once

#include "publish/BrokerAddress.h"

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
  // --publish: the line's broker, and how to reach it; the station's name
  // (empty: the host's).
  std::optional<publish::BrokerAddress> publish{};
  std::string publishCa{};
  std::string publishPasswordFile{};
  std::string station{};
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
