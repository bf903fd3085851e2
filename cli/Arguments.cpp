#include "cli/Arguments.h"

#include "cli/Platform.h"
#include "cli/UserTime.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>

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
  std::string pace;
  double rebootWindow = -1;  // seconds; none given
  std::string publish;
  std::string publishCa;
  std::string publishPasswordFile;
  std::string station;
  std::optional<std::string> record;
  bool noRecord = false;
  bool history = false;
  std::optional<std::string> since;
  std::optional<std::string> until;
  std::string serial;
  std::string sha256;
  bool failed = false;
  bool csv = false;
  bool summary = false;

  bool AnyOfHistory() const {
    return since || until || !serial.empty() || !sha256.empty() || failed || csv || summary;
  }
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
  app.add_option("--pace", flags.pace)->check(CLI::IsMember({"byte", "stream"}));
  app.add_option("--reboot-window", flags.rebootWindow)->check(CLI::Range(0.0, 86400.0));
  app.add_option("--record", flags.record)->allow_extra_args(false);
  app.add_flag("--no-record", flags.noRecord);
  app.add_flag("--history", flags.history);
  app.add_option("--since", flags.since);
  app.add_option("--until", flags.until);
  app.add_option("--serial", flags.serial);
  app.add_option("--sha256", flags.sha256);
  app.add_flag("--failed", flags.failed);
  app.add_flag("--csv", flags.csv);
  app.add_flag("--summary", flags.summary);
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
  if (flags.noRecord) return "--publish needs the records, from which the results are published: leave out --no-record";
  publish::ParsedBrokerAddress parsed = publish::ParseBrokerUrl(flags.publish);
  if (!parsed.address) return parsed.error;
  if (!flags.publishCa.empty() && !parsed.address->tls) return "--publish-ca goes with an mqtts:// URL";
  command.publish = std::move(parsed.address);
  command.publishCa = flags.publishCa;
  command.publishPasswordFile = flags.publishPasswordFile;
  command.station = flags.station;
  return {};
}

// A word as a POSIX shell takes it back: as it is where that is safe, else
// in single quotes.
std::string Quoted(std::string_view word) {
  auto plain = [](unsigned char c) { return std::isalnum(c) || std::string_view("_./:=@%+,-").find(c) != std::string_view::npos; };
  if (!word.empty() && std::all_of(word.begin(), word.end(), plain)) return std::string(word);
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string CommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) line += (i ? " " : "") + Quoted(argv[i]);
  return line;
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
  command.pace = PaceNamed(flags.pace).value_or(Pace::kByte);
  if (flags.rebootWindow >= 0)
    command.rebootWindow = std::chrono::milliseconds(std::llround(flags.rebootWindow * 1000));
  if (std::string wrong = TakePublishing(flags, command); !wrong.empty()) return Failure(wrong);
  return WithPorts(std::move(command), flags.ports, normalize, "port pattern");
}

// A --since or --until TIME as the records write it.
std::optional<std::string> TimeBound(const std::optional<std::string>& given, std::string& problem, const char* what) {
  if (!given) return std::string();
  std::optional<std::string> time = RecordTimeOf(*given, std::chrono::system_clock::now());
  if (!time) problem = std::string(what) + " " + *given + ": not a time (2026-12-09T08:30, 2026-12-09, today, 1h)";
  return time;
}

std::optional<std::string> Sha256Prefix(std::string prefix) {
  if (prefix.size() > 64 || !std::all_of(prefix.begin(), prefix.end(), [](unsigned char c) { return std::isxdigit(c); }))
    return std::nullopt;
  std::transform(prefix.begin(), prefix.end(), prefix.begin(), [](unsigned char c) { return std::tolower(c); });
  return prefix;
}

ParsedArguments History(Flags flags, const PortNormalizer& normalize) {
  if (flags.watch || flags.list || !flags.file.empty() || flags.noRecord || flags.quiet || flags.present ||
      flags.again || flags.count > 0 || !flags.pace.empty() || flags.rebootWindow >= 0 || !flags.publish.empty())
    return Failure(
        "--history takes no FILE, no --watch, --list, --no-record, --quiet, --present, --again, --count, --pace, "
        "--reboot-window or --publish");
  if (flags.ports.size() > 1) return Failure("--history takes one --port PATTERN");
  if (flags.csv && (flags.json || flags.summary)) return Failure("--csv goes with neither --json nor --summary");
  Command command = Just(Action::kHistory, flags.json);
  command.csv = flags.csv;
  command.summary = flags.summary;
  records::RunFilter& filter = command.filter;
  std::string problem;
  filter.since = TimeBound(flags.since, problem, "--since").value_or("");
  if (problem.empty()) filter.until = TimeBound(flags.until, problem, "--until").value_or("");
  if (!problem.empty()) return Failure(problem);
  if (!flags.ports.empty()) {
    if (flags.ports[0].empty()) return Failure("an empty port pattern");
    filter.portPattern = normalize(flags.ports[0]);
  }
  filter.serial = flags.serial;
  std::optional<std::string> prefix = Sha256Prefix(flags.sha256);
  if (!prefix) return Failure("--sha256 " + flags.sha256 + ": not the start of a SHA-256 (hex digits)");
  filter.sha256Prefix = *prefix;
  filter.failedOnly = flags.failed;
  return Success(std::move(command));
}

ParsedArguments Checked(Flags flags, const PortNormalizer& normalize) {
  if (flags.help) return Success(Just(Action::kHelp));
  if (flags.version) return Success(Just(Action::kVersion));
  if (flags.history) return History(std::move(flags), normalize);
  if (flags.AnyOfHistory()) return Failure("--since, --until, --serial, --sha256, --failed, --csv and --summary go with --history");
  if (flags.record && flags.noRecord) return Failure("--record and --no-record do not go together");
  if (flags.record && flags.record->empty()) return Failure("an empty --record FILE");
  if (flags.watch) return Watched(std::move(flags), normalize);
  if (flags.present || flags.again || flags.count > 0 || flags.rebootWindow >= 0)
    return Failure("--present, --again, --count and --reboot-window go with --watch");
  if (flags.list) {
    if (!flags.ports.empty() || !flags.file.empty() || flags.quiet || !flags.pace.empty() || flags.record ||
        flags.noRecord || !flags.publish.empty())
      return Failure("--list takes no port, no file, no --pace, no --quiet, no record and no --publish");
    return Success(Just(Action::kList, flags.json));
  }
  if (flags.ports.empty()) return Failure("no --port given");
  if (flags.file.empty()) return Failure("no firmware FILE given");
  Command command{Action::kUpload, {}, flags.file, flags.json, flags.quiet};
  command.pace = PaceNamed(flags.pace).value_or(Pace::kByte);
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
  std::string record = flags.record.value_or("");
  bool noRecord = flags.noRecord;
  ParsedArguments parsed = Checked(std::move(flags), normalize);
  if (parsed.command) {
    parsed.command->record = record;
    parsed.command->noRecord = noRecord;
    parsed.command->commandLine = CommandLine(argc, argv);
  }
  return parsed;
}

std::string_view UsageText() {
  return "usage: fwupload --port PORT [--port PORT]... [--pace byte|stream] [--record FILE]\n"
         "                [--json] [--quiet] [PUBLISHING] FILE\n"
         "       fwupload --watch [--port PATTERN]... [--count N] [--present] [--again]\n"
         "                        [--reboot-window S] [--pace byte|stream]\n"
         "                        [--record FILE | --no-record] [--json] [--quiet]\n"
         "                        [PUBLISHING] FILE\n"
         "       fwupload --history [--record FILE] [--since TIME] [--until TIME]\n"
         "                          [--port PATTERN] [--serial S] [--sha256 PREFIX] [--failed]\n"
         "                          [--summary] [--json | --csv]\n"
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
         "  --pace PACE      how the body goes: byte (the default) one byte a write,\n"
         "                   each once the last has left; stream, larger writes that\n"
         "                   keep the wire busy (a USB adapter at the wire's speed)\n"
         "  --reboot-window S\n"
         "                   with --watch: a board that went and comes back within S\n"
         "                   seconds (10) is taken for the same board, rebooting\n"
         "  --record FILE    record every run in FILE, a SQLite database; a station\n"
         "                   records by default, in the user's state folder\n"
         "  --no-record      with --watch: record nothing\n"
         "  --history        the runs recorded, oldest first (--record: from FILE)\n"
         "  --since TIME     with --history: runs started then or later; TIME is\n"
         "                   2026-12-09T08:30 (local; Z or +01:00 for a zone),\n"
         "                   2026-12-09, today, or a time ago: 90s, 30m, 1h, 2d\n"
         "  --until TIME     with --history: runs started before TIME\n"
         "  --serial S       with --history: runs of the board with USB serial number S\n"
         "  --sha256 PREFIX  with --history: runs of the firmware whose SHA-256 starts so\n"
         "  --failed         with --history: runs that did not update their board\n"
         "  --summary        with --history: per firmware, its runs, updates, failures\n"
         "                   by reason, median and longest update\n"
         "  --csv            with --history: CSV, a header row first\n"
         "  --publish URL    also publish the station's state and every result to the\n"
         "                   line's MQTT broker: mqtt://[USER@]HOST[:PORT]/PREFIX, or\n"
         "                   mqtts://... for TLS, checked against the system's\n"
         "                   certificates or --publish-ca; the password comes from\n"
         "                   FWUPLOAD_MQTT_PASSWORD or --publish-password-file, never\n"
         "                   from the command line. A broker that cannot be reached\n"
         "                   holds up no board\n"
         "  --publish-ca FILE  mqtts: trust the certificates in FILE, not the system's\n"
         "  --publish-password-file FILE  the broker's password, the file's first line\n"
         "  --station NAME   the station's name in the topics (default: the host name)\n"
         "  --help           this text\n"
         "  --version        the version\n"
         "\n"
         "With --history, --port takes one PATTERN (a name or a glob).\n"
         "\n"
         "Exit status: 0 when every port was updated; else the outcome (1 to 5) of the\n"
         "first port, in the order given, that was not; 64 for a usage error; 66 when\n"
         "the --publish-password-file cannot be read; 74 when the records cannot be\n"
         "written or read, or --list, --help or --version could not write; 130 when\n"
         "interrupted. --watch: 0 when every update succeeded, else the outcome of the\n"
         "first that did not.\n";
}

}  // namespace fwu::cli
