#include "cli/Arguments.h"

#include "cli/Platform.h"

#include <CLI/CLI.hpp>

#include <algorithm>

// TLS on Windows would need OpenSSL built for the target, which this build
// does not have yet.
#ifdef _WIN32
#define FWU_TLS_NOTE " (not yet on Windows)"
#else
#define FWU_TLS_NOTE ""
#endif

namespace fwu::cli {
namespace {

struct Flags {
  std::vector<std::string> ports;
  std::string file;
  bool json = false;
  bool quiet = false;
  bool list = false;
  bool help = false;
  bool version = false;
  bool watch = false;
  bool present = false;
  bool again = false;
  int count = 0;
  std::string publish;
  std::string publishCa;
  std::string publishPasswordFile;
  std::string station;
};

// CLI11 does the reading; the help and version texts are fwupload's own.
void Declare(CLI::App& app, Flags& flags) {
  app.set_help_flag();
  app.add_option("-p,--port", flags.ports)->allow_extra_args(false);
  app.add_option("FILE", flags.file);
  app.add_flag("--json", flags.json);
  app.add_flag("--quiet", flags.quiet);
  app.add_flag("--list", flags.list);
  app.add_flag("--help", flags.help);
  app.add_flag("--version", flags.version);
  app.add_flag("--watch", flags.watch);
  app.add_flag("--present", flags.present);
  app.add_flag("--again", flags.again);
  app.add_option("--count", flags.count)->check(CLI::PositiveNumber);
  app.add_option("--publish", flags.publish);
  app.add_option("--publish-ca", flags.publishCa);
  app.add_option("--publish-password-file", flags.publishPasswordFile);
  app.add_option("--station", flags.station);
}

// The publishing options into `command`; the reason when they do not go
// together, else empty.
std::string TakePublishing(const Flags& flags, Command& command) {
  if (flags.publish.empty()) {
    if (!flags.publishCa.empty() || !flags.publishPasswordFile.empty() || !flags.station.empty())
      return "--publish-ca, --publish-password-file and --station go with --publish";
    return {};
  }
  publish::ParsedBrokerAddress parsed = publish::ParseBrokerUrl(flags.publish);
  if (!parsed.address) return parsed.error;
  if (!flags.publishCa.empty() && !parsed.address->tls) return "--publish-ca goes with an mqtts:// URL";
  command.publish = std::move(parsed.address);
  command.publishCa = flags.publishCa;
  command.publishPasswordFile = flags.publishPasswordFile;
  command.station = flags.station;
  return {};
}

// Why the ports cannot all be updated at once: a port named twice, or one
// device under two names (a link beside the name it leads to); empty when
// they can.
std::string Repeated(const std::vector<std::string>& ports) {
  std::vector<std::string> identities;
  for (const std::string& port : ports) identities.push_back(PortIdentity(port));
  for (std::size_t i = 0; i < ports.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) {
      if (identities[j] != identities[i]) continue;
      if (ports[j] == ports[i]) return "port " + ports[i] + " given twice";
      return "ports " + ports[j] + " and " + ports[i] + " are the same device";
    }
  return {};
}

ParsedArguments Failure(std::string reason) { return {std::nullopt, std::move(reason)}; }

ParsedArguments Success(Command command) { return {std::move(command), {}}; }

Command Just(Action action, bool json = false) {
  Command command;
  command.action = action;
  command.json = json;
  return command;
}

// --watch: its patterns name ports as --port does; none stands for the
// platform's own.
// The command with its ports normalized; refused for an empty one (`what`
// names it) or one port given twice.
ParsedArguments WithPorts(Command command, const std::vector<std::string>& ports, const PortNormalizer& normalize,
                          const char* what) {
  for (const std::string& port : ports) {
    if (port.empty()) return Failure(std::string("an empty ") + what);
    command.ports.push_back(normalize(port));
  }
  if (std::string twice = Repeated(command.ports); !twice.empty()) return Failure(twice);
  return Success(std::move(command));
}

ParsedArguments Watched(Flags flags, const PortNormalizer& normalize) {
  if (flags.list) return Failure("--watch and --list do not go together");
  if (flags.file.empty()) return Failure("no firmware FILE given");
  Command command{Action::kWatch, {}, flags.file, flags.json, flags.quiet};
  command.present = flags.present;
  command.serialsAgain = flags.again;
  if (flags.count > 0) command.count = flags.count;
  if (std::string wrong = TakePublishing(flags, command); !wrong.empty()) return Failure(wrong);
  return WithPorts(std::move(command), flags.ports, normalize, "port pattern");
}

ParsedArguments Checked(Flags flags, const PortNormalizer& normalize) {
  if (flags.help) return Success(Just(Action::kHelp));
  if (flags.version) return Success(Just(Action::kVersion));
  if (flags.watch) return Watched(std::move(flags), normalize);
  if (flags.present || flags.again || flags.count > 0) return Failure("--present, --again and --count go with --watch");
  if (flags.list) {
    if (!flags.ports.empty() || !flags.file.empty() || flags.quiet || !flags.publish.empty())
      return Failure("--list takes no port, no file, no --quiet and no --publish");
    return Success(Just(Action::kList, flags.json));
  }
  if (flags.ports.empty()) return Failure("no --port given");
  if (flags.file.empty()) return Failure("no firmware FILE given");
  Command command{Action::kUpload, {}, flags.file, flags.json, flags.quiet};
  if (std::string wrong = TakePublishing(flags, command); !wrong.empty()) return Failure(wrong);
  return WithPorts(std::move(command), flags.ports, normalize, "port name");
}

}  // namespace

ParsedArguments ParseArguments(int argc, const char* const* argv, const PortNormalizer& normalize) {
  CLI::App app("fwupload", "fwupload");
  Flags flags;
  Declare(app, flags);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::string reason = error.what();
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    return Failure(reason);
  }
  return Checked(std::move(flags), normalize);
}

std::string_view UsageText() {
  return "usage: fwupload --port PORT [--port PORT]... [--json] [--quiet] [PUBLISHING] FILE\n"
         "       fwupload --watch [--port PATTERN]... [--count N] [--present] [--again]\n"
         "                        [--json] [--quiet] [PUBLISHING] FILE\n"
         "       fwupload --list [--json]\n"
         "       fwupload --help | --version\n"
         "  PUBLISHING: --publish URL [--publish-ca FILE] [--publish-password-file FILE]\n"
         "              [--station NAME]\n";
}

std::string HelpText() {
  return std::string(UsageText()) +
         "\n"
         "Writes the firmware FILE into the device on each PORT, all ports at once.\n"
         "\n"
         "  -p, --port PORT  a serial port (COM3; /dev/ttyUSB0, or just ttyUSB0)\n"
         "  --json           JSON lines only: one object per progress step and result\n"
         "  --quiet          the result lines only\n"
         "  --list           the serial ports and what the system knows of them\n"
         "  --watch          a station: update each port that appears and matches a\n"
         "                   PATTERN (a name or a glob; none: /dev/ttyUSB* and\n"
         "                   /dev/ttyACM* on Linux, every COM port on Windows), once\n"
         "                   until it has gone; Ctrl+C ends it\n"
         "  --count N        with --watch: end after N updates\n"
         "  --present        with --watch: update the ports present at start too\n"
         "  --again          with --watch: update a board whose USB serial number was\n"
         "                   updated already\n"
         "  --publish URL    also publish the station's state and every result to the\n"
         "                   line's MQTT broker: mqtt://[USER@]HOST[:PORT]/PREFIX, or\n"
         "                   mqtts://... for TLS" FWU_TLS_NOTE "; the password comes from\n"
         "                   FWUPLOAD_MQTT_PASSWORD or --publish-password-file, never\n"
         "                   from the command line. A broker that cannot be reached\n"
         "                   holds up no board\n"
         "  --publish-ca FILE  mqtts: trust the certificates in FILE, not the system's\n"
         "  --publish-password-file FILE  the broker's password, the file's first line\n"
         "  --station NAME   the station's name in the topics (default: the host name)\n"
         "  --help           this text\n"
         "  --version        the version\n"
         "\n"
         "Exit status: 0 when every port was updated; else the outcome (1 to 5) of the\n"
         "first port, in the order given, that was not; 64 for a usage error; 66 when\n"
         "the --publish-password-file cannot be read; 130 when\n"
         "interrupted. --watch: 0 when every update succeeded, else the outcome of the\n"
         "first that did not.\n";
}

}  // namespace fwu::cli
