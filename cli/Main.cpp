// fwupload: writes a firmware file into the devices on one or more serial
// ports at once, from the command line. See HelpText in Arguments.cpp.
#include "cli/Arguments.h"
#include "cli/HistoryCommand.h"
#include "cli/ListCommand.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/UploadCommand.h"
#include "cli/WatchCommand.h"

#include <cstdio>

int main(int argc, char** argv) {
  using namespace fwu::cli;
  KeepStandardStreamsOpen();
  static std::atomic<bool> interrupted{false};
  CatchInterrupts(interrupted);
  const auto [count, values] = PrepareProcess(argc, argv);
  ParsedArguments parsed = ParseArguments(count, values, NormalizePortName);
  if (!parsed.command) {
    std::fprintf(stderr, "fwupload: %s\n%s", parsed.error.c_str(), std::string(UsageText()).c_str());
    return kExitUsage;
  }
  const Command& command = *parsed.command;
  switch (command.action) {
    case Action::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case Action::kVersion:
      std::puts("fwupload " FWUPLOAD_VERSION);
      return 0;
    case Action::kList:
      return RunList(command.json);
    case Action::kWatch:
      return RunWatch(command, interrupted);
    case Action::kHistory:
      return RunHistory(command);
    case Action::kUpload:
      break;
  }
  return RunUpload(command, interrupted);
}
