#include "cli/UploadCommand.h"

#include "cli/Display.h"
#include "cli/Firmware.h"
#include "cli/RunOutlets.h"
#include "cli/Platform.h"
#include "cli/Recording.h"
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

Tally TallyOf(const std::vector<Outcome>& outcomes) {
  Tally tally;
  for (Outcome outcome : outcomes) ++(outcome == Outcome::kSuccess ? tally.updated : tally.failed);
  return tally;
}

}  // namespace

int RunUpload(const Command& command, const std::atomic<bool>& interrupted) {
  Output output;
  const FirmwareFile firmware = ReadFirmwareFile(command.file, interrupted);
  if (interrupted.load()) {
    output.Err("fwupload: interrupted\n");
    return kExitInterrupted;
  }
  int refused = 0;
  std::optional<RunOutlets> outlets = OpenOutlets(command, firmware, output, refused);
  if (!outlets) return refused;
  auto& display = outlets->display;
  Recording& recording = outlets->recording;
  Runs runs;
  for (const std::string& port : command.ports)
    runs.push_back(std::make_unique<PortRun>(port, firmware, interrupted, command.pace));
  RunAll(runs, *display);
  // Recorded first, then shown in the order the ports were given; an
  // interrupt leaves some without a result, which are recorded as stopped.
  std::vector<const PortRun*> ended;
  for (const auto& run : runs) ended.push_back(run.get());
  std::string notRecorded = recording.Commit(ended);
  std::vector<Outcome> outcomes;
  for (const auto& run : runs) {
    display->Result(*run, nullptr, notRecorded);
    if (run->Result().outcome) outcomes.push_back(*run->Result().outcome);
  }
  int status = interrupted.load() ? kExitInterrupted : ExitStatus(outcomes);
  std::string endProblem = recording.End(TallyOf(outcomes), status);
  if (!endProblem.empty()) output.Err("fwupload: the end of this run is not recorded: " + endProblem + "\n");
  if (interrupted.load()) {
    output.Err("fwupload: interrupted\n");
    return kExitInterrupted;
  }
  return notRecorded.empty() && endProblem.empty() ? status : kExitCannotRecord;
}

}  // namespace fwu::cli
