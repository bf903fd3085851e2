// virtual-device: plays the updater's device on a pseudo-terminal, for tests
// and for trying the updater by hand. See README.md beside this file.
#include "Device.h"
#include "Options.h"
#include "Pty.h"
#include "Reporter.h"
#include "WinePorts.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int) { g_stopSignal = 1; }

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;  // no SA_RESTART: waits end at once
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool LinkTo(const std::string& link, const std::string& target) {
  unlink(link.c_str());  // a link left behind by an earlier device
  return symlink(target.c_str(), link.c_str()) == 0;
}

// Removes the links that still lead to this device's pty.
void Unlink(const std::vector<std::string>& links, const std::string& target) {
  for (const std::string& link : links) {
    char buffer[PATH_MAX] = {};
    ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && target == std::string(buffer, static_cast<std::size_t>(n))) unlink(link.c_str());
  }
}

std::string LabelOf(const Options& options) {
  if (!options.com.empty()) return options.com;
  if (options.links.empty()) return "device";
  const std::string& link = options.links.front();
  return link.substr(link.rfind('/') + 1);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "virtual-device: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  auto parsed = ParseOptions(argc, argv, error);
  if (!parsed) {
    std::fprintf(stderr, "virtual-device: %s\n%s", error.c_str(), UsageText());
    return 2;
  }
  Options options = *parsed;
  CatchStopSignals();
  if (!options.winePrefix.empty()) {
    std::string link = WinePortLink(options.winePrefix, options.com, error);
    if (link.empty()) return Fail(error);
    options.links.push_back(link);
  }

  Reporter reporter(options.logFile, options.eventsFile, options.quiet);
  if (!reporter.Ready()) return Fail("cannot open the log or events file");
  Pty pty;
  if (!pty.Open()) return Fail(std::string("no pty: ") + std::strerror(errno));
  std::string slave = pty.SlavePath();
  for (const std::string& link : options.links)
    if (!LinkTo(link, slave)) {
      Unlink(options.links, slave);
      return Fail("cannot link " + link + ": " + std::strerror(errno));
    }
  if (!options.stale.empty()) {
    pty.Preload(options.stale.data(), options.stale.size());
    reporter.Event("stale " + FormatHex(options.stale));
  }

  std::string label = LabelOf(options);
  reporter.Event("ready " + label + " " + slave);
  reporter.Progress(label + " ready (" + slave + ")");
  if (!options.readyFile.empty() && !WriteFile(options.readyFile, slave + "\n")) {
    Unlink(options.links, slave);
    return Fail("cannot write " + options.readyFile);
  }

  Device device(options, pty, reporter);
  device.Run([&] {
    return g_stopSignal || (!options.stopFile.empty() && access(options.stopFile.c_str(), F_OK) == 0);
  });

  Unlink(options.links, slave);
  reporter.Event("exit");
  reporter.Progress("stopped");
  return 0;
}
