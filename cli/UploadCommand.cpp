#include "cli/UploadCommand.h"

#include "cli/Display.h"
#include "cli/Firmware.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"

#include <algorithm>
#include <thread>

namespace fwu::cli {
namespace {

// How often the main thread looks at the runs: the live lines' refresh and
// how soon it sees that every run has ended.
constexpr std::chrono::milliseconds kTick{50};

DisplayForm FormFor(const Command& command) {
  if (command.json) return command.quiet ? DisplayForm::kJsonResults : DisplayForm::kJson;
  if (command.quiet) return DisplayForm::kResults;
  return PrepareLiveOutput() ? DisplayForm::kLive : DisplayForm::kSteps;
}

bool AllFinished(const Runs& runs) {
  return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->Finished(); });
}

// Every run to its end. A single port runs on this thread, which refreshes
// the display between the run's steps: in a process of one thread each system
// call of the body costs less (on a pty, about a tenth of the body's rate;
// scripts/benchmark.sh). Several ports run on threads of their own while this
// one refreshes.
void RunAll(const Runs& runs, Display& display) {
  auto refresh = [&] { display.Refresh(runs); };
  if (runs.size() == 1) return runs.front()->RunHere(refresh, kTick);
  for (auto& run : runs) run->Start();
  while (!AllFinished(runs)) {
    std::this_thread::sleep_for(kTick);
    refresh();
  }
  for (auto& run : runs) run->Join();
}

}  // namespace

int RunUpload(const Command& command) {
  static std::atomic<bool> interrupted{false};
  CatchInterrupts(interrupted);
  const auto firmware = ReadFirmwareFile(command.file);
  auto display = MakeDisplay(FormFor(command), command.ports, stdout);

  Runs runs;
  for (std::size_t i = 0; i < command.ports.size(); ++i)
    runs.push_back(std::make_unique<PortRun>(i, command.ports[i], firmware, *display, interrupted));
  RunAll(runs, *display);
  display->Refresh(runs);

  if (interrupted.load()) {
    std::fputs("fwupload: interrupted\n", stderr);
    return kExitInterrupted;
  }
  display->Results(runs);
  std::vector<Outcome> outcomes;
  for (const auto& run : runs) outcomes.push_back(*run->Result().outcome);
  return ExitStatus(outcomes);
}

}  // namespace fwu::cli
