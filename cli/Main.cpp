// fwupload: writes a firmware file into the devices on one or more serial
// ports at once, from the command line. See HelpText in Arguments.cpp.
#include "cli/Arguments.h"
#include "cli/HistoryCommand.h"
#include "cli/ListCommand.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/UploadCommand.h"
#include "cli/WatchCommand.h"

#include "cli/PrintableText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// `status`, once what went to standard output is written; a listing that
// could not be written (a full disk) is no success. A reader that went away
// (`| head`) needs no word.
int Written(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  if (errno != EPIPE) std::fprintf(stderr, "fwupload: cannot write standard output: %s\n", std::strerror(errno));
  return fwu::cli::kExitOutput;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace fwu::cli;
  KeepStandardStreamsOpen();
  static std::atomic<bool> interrupted{false};
  CatchInterrupts(interrupted);
  const auto [count, values] = PrepareProcess(argc, argv);
  ParsedArguments parsed = ParseArguments(count, values, NormalizePortName);
  if (!parsed.command) {
    std::fprintf(stderr, "fwupload: %s\n%s", Printable(parsed.error).c_str(), std::string(UsageText()).c_str());
    return kExitUsage;
  }
  const Command& command = *parsed.command;
  switch (command.action) {
    case Action::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return Written(0);
    case Action::kVersion:
      std::puts("fwupload " FWUPLOAD_VERSION);
      return Written(0);
    case Action::kList:
      return Written(RunList(command.json));
    case Action::kWatch:
      return RunWatch(command, interrupted);
    case Action::kHistory:
      return RunHistory(command);
    case Action::kUpload:
      break;
  }
  return RunUpload(command, interrupted);
}
