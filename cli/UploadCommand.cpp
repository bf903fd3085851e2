#include "cli/UploadCommand.h"

#include "cli/Display.h"
#include "cli/Firmware.h"
#include "cli/LinePublishing.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace fwu::cli {
namespace {

// How often the main thread looks at the runs: the output's refresh and how
// soon it sees that every run has ended.
constexpr std::chrono::milliseconds kTick{50};

using Runs = std::vector<std::unique_ptr<PortRun>>;

bool AllFinished(const Runs& runs) {
  return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->Finished(); });
}

// Every run on a thread of its own, to its end, while this thread shows
// their progress: however long the output takes, no line waits for it.
void RunAll(const Runs& runs, Display& display) {
  RunView shown;
  for (auto& run : runs) {
    run->Start();
    shown.push_back(run.get());
  }
  while (!AllFinished(runs)) {
    std::this_thread::sleep_for(kTick);
    display.Refresh(shown);
  }
  for (auto& run : runs) run->Join();
  display.Refresh(shown);
  display.Settle();
}

}  // namespace

int RunUpload(const Command& command, const std::atomic<bool>& interrupted) {
  Output output;
  const FirmwareFile firmware = ReadFirmwareFile(command.file, interrupted);
  std::vector<Outcome> outcomes;
  if (!interrupted.load()) {
    Displayed displayed =
        WithPublishing(MakeDisplay(FormFor(command.json, command.quiet), output), output, command, "");
    if (!displayed.display) {
      output.Err("fwupload: " + displayed.problem + "\n");
      return kExitNoInput;
    }
    auto& display = displayed.display;
    Runs runs;
    for (const std::string& port : command.ports)
      runs.push_back(std::make_unique<PortRun>(port, firmware, interrupted));
    RunAll(runs, *display);
    // In the order the ports were given; an interrupt leaves some without.
    for (const auto& run : runs) {
      display->Result(*run, nullptr);
      if (run->Result().outcome) outcomes.push_back(*run->Result().outcome);
    }
  }
  if (interrupted.load()) {
    output.Err("fwupload: interrupted\n");
    return kExitInterrupted;
  }
  return ExitStatus(outcomes);
}

}  // namespace fwu::cli
