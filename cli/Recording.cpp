#include "cli/Recording.h"

#include "cli/Platform.h"

#include <cmath>
#include <filesystem>

namespace fwu::cli {
namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const fs::path& path) {
  std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// The folders of the default file that are missing, made for the user alone
// (they hold what a station did); empty, or why not.
std::string MakeFolderOf(const std::string& file) {
  fs::path folder = PathOf(file).parent_path();
  std::error_code error;
  if (fs::is_directory(folder, error)) return {};
  std::vector<fs::path> missing;
  for (fs::path at = folder; !at.empty() && !fs::exists(at, error); at = at.parent_path()) missing.push_back(at);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, error) && error) return Utf8Of(*it) + ": " + error.message();
    fs::permissions(*it, fs::perms::owner_all, error);
  }
  return {};
}

// The one place the run's pace comes from.
std::string PaceOf(const PortRun& /*run*/) { return "byte"; }

// The outcome's text without the port name that some complete.
std::string OutcomeTextOf(const std::optional<Outcome>& outcome) {
  if (!outcome) return "stopped by an interrupt";
  std::string text(OutcomeText(*outcome));
  while (!text.empty() && (text.back() == ' ' || text.back() == ':')) text.pop_back();
  return text;
}

std::chrono::system_clock::time_point EndOf(const PortRun& run) {
  return run.StartedAt() + std::chrono::duration_cast<std::chrono::system_clock::duration>(run.Result().seconds);
}

}  // namespace

FirmwareFacts FactsOf(const std::string& utf8Path, const FirmwareFile& firmware) {
  std::error_code error;
  fs::path absolute = fs::absolute(PathOf(utf8Path), error);
  FirmwareFacts facts;
  facts.path = error ? utf8Path : Utf8Of(absolute.lexically_normal());
  if (!firmware.Read()) return facts;
  facts.size = static_cast<std::int64_t>(firmware.size);
  facts.sha256 = Sha256Hex(firmware.Bytes());
  return facts;
}

std::string RecordFileOf(const Command& command) {
  if (command.noRecord) return {};
  // A --port run that publishes records too: its results go out from there.
  if (!command.record.empty() || (command.action != Action::kWatch && !command.publish)) return command.record;
  return DefaultRecordFile();
}

records::Result<Recording> Recording::Begin(const Command& command, const FirmwareFacts& firmware) {
  Recording recording;
  recording.file_ = RecordFileOf(command);
  if (recording.file_.empty()) {
    if (command.action == Action::kWatch && !command.noRecord)
      return {std::nullopt, "the system names no state folder for the default record file: give --record FILE"};
    return {std::move(recording), {}};
  }
  if (command.record.empty())
    if (std::string problem = MakeFolderOf(recording.file_); !problem.empty()) return {std::nullopt, problem};
  auto opened = records::RecordFile::Open(recording.file_, records::RecordFile::Access::kWrite);
  if (!opened.value) return {std::nullopt, opened.problem};
  recording.host_ = HostName();
  records::Invocation invocation{.station = command.station.empty() ? recording.host_ : command.station,
                                 .host = recording.host_,
                                 .user = UserName(),
                                 .commandLine = command.commandLine,
                                 .filePath = firmware.path,
                                 .fileSha256 = firmware.sha256,
                                 .startedAt = records::UtcTime(std::chrono::system_clock::now()),
                                 .version = FWUPLOAD_VERSION};
  auto begun = opened.value->Begin(invocation);
  if (!begun.value) return {std::nullopt, recording.file_ + ": " + begun.problem};
  recording.records_ = std::move(opened.value);
  recording.invocationId_ = *begun.value;
  recording.firmware_ = firmware;
  return {std::move(recording), {}};
}

std::string Recording::Commit(std::span<const PortRun* const> runs) {
  if (!records_ || runs.empty()) return {};
  std::vector<records::Run> rows;
  for (const PortRun* run : runs) {
    const RunResult& result = run->Result();
    const PortInfo& port = run->Described();
    std::size_t colon = port.usbId.find(':');
    rows.push_back({.invocationId = invocationId_,
                    .startedAt = records::UtcTime(run->StartedAt()),
                    .endedAt = records::UtcTime(EndOf(*run)),
                    .port = run->Port(),
                    .usbVendor = port.usbId.substr(0, colon),
                    .usbProduct = colon == std::string::npos ? "" : port.usbId.substr(colon + 1),
                    .usbSerial = port.serial,
                    .usbLocation = port.location,
                    .filePath = firmware_.path,
                    .fileSize = firmware_.size,
                    .fileSha256 = firmware_.sha256,
                    .outcome = result.outcome ? std::optional<int>(static_cast<int>(*result.outcome)) : std::nullopt,
                    .outcomeText = OutcomeTextOf(result.outcome),
                    .reason = result.reason,
                    .bytes = result.bytes,
                    .seconds = std::round(result.seconds.count() * 1000) / 1000,
                    .pace = PaceOf(*run),
                    .host = host_,
                    .version = FWUPLOAD_VERSION});
  }
  return records_->Add(rows).problem;
}

std::string Recording::End(const Tally& tally, int exitStatus) {
  if (!records_) return {};
  return records_->End(invocationId_, {records::UtcTime(std::chrono::system_clock::now()), tally.updated,
                                       tally.failed, exitStatus});
}

}  // namespace fwu::cli
