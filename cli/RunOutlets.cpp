#include "cli/RunOutlets.h"

#include "cli/LinePublishing.h"

namespace fwu::cli {

std::optional<RunOutlets> OpenOutlets(const Command& command, const FirmwareFile& firmware, Output& output,
                                      int& status) {
  FirmwareFacts facts = FactsOf(command.file, firmware);
  auto recording = Recording::Begin(command, facts);
  if (!recording.value) {
    output.Err("fwupload: cannot record: " + recording.problem + "\n");
    status = kExitCannotRecord;
    return std::nullopt;
  }
  Displayed displayed = WithPublishing(MakeDisplay(FormFor(command.json, command.quiet), output), output, command,
                                       facts, recording.value->File());
  if (!displayed.display) {
    output.Err("fwupload: " + displayed.problem + "\n");
    status = kExitNoInput;
    return std::nullopt;
  }
  return RunOutlets{std::move(facts), std::move(*recording.value), std::move(displayed.display)};
}

}  // namespace fwu::cli
