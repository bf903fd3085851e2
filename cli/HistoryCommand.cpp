#include "cli/HistoryCommand.h"

#include "cli/HistoryText.h"
#include "cli/Output.h"
#include "cli/Platform.h"
#include "cli/Recording.h"

namespace fwu::cli {
namespace {

// Each run as it is read; the reading stops once the output is lost.
std::string ListRuns(records::RecordFile& file, const Command& command, Output& output) {
  bool header = command.csv;
  return file.EachRun(command.filter, [&](const records::Row& run) {
    if (std::exchange(header, false)) output.Out(CsvHeader(run));
    if (command.csv) output.Out(CsvRecord(run));
    else output.Out((command.json ? HistoryJson(run) : HistoryLine(run)) + "\n");
    return !output.OutLost();
  });
}

std::string Summarize(records::RecordFile& file, const Command& command, Output& output) {
  auto summaries = file.Summarize(command.filter);
  if (!summaries.value) return summaries.problem;
  for (const records::FirmwareSummary& firmware : *summaries.value)
    output.Out(command.json ? SummaryJson(firmware) : SummaryText(firmware));
  return {};
}

}  // namespace

int RunHistory(const Command& command) {
  Output output("the listing stops");
  std::string path = command.record.empty() ? DefaultRecordFile() : command.record;
  if (path.empty()) {
    output.Err("fwupload: the system names no state folder for the default record file: give --record FILE\n");
    return kExitCannotRecord;
  }
  auto file = records::RecordFile::Open(path, records::RecordFile::Access::kRead);
  if (!file.value) {
    output.Err("fwupload: cannot read the records: " + file.problem + "\n");
    return kExitCannotRecord;
  }
  std::string problem = command.summary ? Summarize(*file.value, command, output) : ListRuns(*file.value, command, output);
  if (problem.empty()) return 0;
  output.Err("fwupload: cannot read the records: " + path + ": " + problem + "\n");
  return kExitCannotRecord;
}

}  // namespace fwu::cli
