// fwupload's command line: what the user asked for, or the one-line reason
// it is not a use of fwupload.
//
//   fwupload --port PORT [--port PORT]... [--json] [--quiet] FILE
//   fwupload --list [--json]
//   fwupload --help | --version
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwu::cli {

enum class Action { kUpload, kList, kHelp, kVersion };

struct Command {
  Action action = Action::kUpload;
  std::vector<std::string> ports;  // normalised, in the order given
  std::string file;
  bool json = false;
  bool quiet = false;
};

// Return rules: exactly one of `command` and `error` is set.
struct ParsedArguments {
  std::optional<Command> command;
  std::string error;
};

using PortNormalizer = std::function<std::string(std::string_view)>;

ParsedArguments ParseArguments(int argc, const char* const* argv, const PortNormalizer& normalize);

// The three forms of the command line, one a line.
std::string_view UsageText();
// The usage and what each option does.
std::string HelpText();

}  // namespace fwu::cli
