#include "cli/LinePublishing.h"

#include "publish/Topics.h"

#include "cli/JsonEvents.h"
#include "cli/Platform.h"
#include "cli/RecordOutbox.h"
#include "records/Records.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <random>

namespace fwu::cli {
namespace {

using Json = nlohmann::ordered_json;

// How long a station's end waits for the broker to take what is left.
constexpr std::chrono::seconds kFinishPatience{5};

std::string Text(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

std::string TimeNow() { return records::UtcTime(std::chrono::system_clock::now()); }

// The password from FWUPLOAD_MQTT_PASSWORD or the first line of `file`; none
// when neither is given. False when the file cannot be read.
bool ReadPassword(const std::string& file, std::optional<std::string>& password) {
  if (file.empty()) {
    if (const char* given = std::getenv("FWUPLOAD_MQTT_PASSWORD")) password = given;
    return true;
  }
  std::ifstream in(file, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return false;
  if (line.ends_with('\r')) line.pop_back();
  password = std::move(line);
  return true;
}

// Unique to this process, so that two of one station (a --watch and a
// --port run) do not push each other off the broker.
unsigned UniqueNumber() { return std::random_device()(); }

Json Offline(const std::string& station) { return {{"station", station}, {"state", "offline"}, {"lost", true}}; }

}  // namespace

Displayed WithPublishing(std::unique_ptr<Display> shown, Output& output, const Command& command,
                         const FirmwareFacts& firmware, const std::string& recordFile) {
  if (!command.publish) return {std::move(shown), {}};
  StationFacts facts{.station = command.station.empty() ? HostName() : command.station,
                     .file = firmware.path,
                     .sha256 = firmware.sha256,
                     .patterns = command.action == Action::kWatch && command.ports.empty() ? DefaultWatchPatterns()
                                                                                            : command.ports};
  std::optional<std::string> password;
  if (!ReadPassword(command.publishPasswordFile, password))
    return {nullptr, "cannot read the password file " + command.publishPasswordFile};
  publish::PublisherSettings settings{.broker = *command.publish,
                                      .password = std::move(password),
                                      .caFile = command.publishCa,
                                      .station = facts.station,
                                      .clientId = publish::ClientId(facts.station, UniqueNumber()),
                                      .lostStatus = Text(Offline(facts.station))};
  std::unique_ptr<publish::ResultOutbox> outbox;
  if (!recordFile.empty()) outbox = std::make_unique<RecordOutbox>(recordFile, facts.station);
  auto publisher = std::make_unique<publish::Publisher>(std::move(settings), std::move(outbox));
  return {std::make_unique<PublishingDisplay>(std::move(shown), output, facts, std::move(publisher),
                                              command.publish->Shown()),
          {}};
}

PublishingDisplay::PublishingDisplay(std::unique_ptr<Display> shown, Output& output, StationFacts facts,
                                     std::unique_ptr<publish::Publisher> publisher, std::string brokerShown)
    : shown_(std::move(shown)),
      output_(output),
      facts_(std::move(facts)),
      publisher_(std::move(publisher)),
      brokerShown_(std::move(brokerShown)),
      since_(TimeNow()) {
  publisher_->Status(Status("online"));
}

PublishingDisplay::~PublishingDisplay() {
  std::int64_t unpublished = publisher_->Finish(Status("offline"), kFinishPatience);
  TellProblems();
  if (unpublished > 0)
    output_.Err("fwupload: " + std::to_string(unpublished) + " result" + (unpublished == 1 ? " is" : "s are") +
                " not yet published to " + brokerShown_ + "; they go out with this station's next --publish\n");
  else if (unpublished < 0)
    output_.Err("fwupload: the broker " + brokerShown_ + " took too long; results it has not acknowledged go out "
                "with this station's next --publish\n");
}

std::string PublishingDisplay::Status(std::string_view state) const {
  return Text({{"station", facts_.station},
               {"state", state},
               {"since", since_},
               {"file", BaseName(facts_.file)},
               {"path", facts_.file},
               {"sha256", facts_.sha256},
               {"version", FWUPLOAD_VERSION},
               {"patterns", facts_.patterns},
               {"tally", {{"updated", tally_.updated}, {"failed", tally_.failed}}}});
}

void PublishingDisplay::Live(std::string_view port, std::string payload, bool progress) {
  publisher_->Port({std::string(port), std::move(payload), progress});
}

void PublishingDisplay::TellProblems() {
  while (auto problem = publisher_->TakeProblem()) output_.Err(*problem + "\n");
}

void PublishingDisplay::Refresh(const RunView& runs) {
  shown_->Refresh(runs);
  auto now = std::chrono::steady_clock::now();
  for (const PortRun* run : runs) {
    if (run->Finished()) continue;
    BodyProgress progress = run->Snapshot();
    std::string state = progress.awaiting ? "waiting" : "running";
    std::int64_t percent = std::max<std::int64_t>(progress.percent, 0);
    auto [at, first] = sent_.try_emplace(run);
    Sent& sent = at->second;
    bool changed = state != sent.state;
    if (!first && ((!changed && percent == sent.percent) || now - sent.at < kProgressInterval)) continue;
    sent = {state, percent, now};
    Live(run->Port(),
         Text({{"port", run->Port()},
               {"state", state},
               {"percent", percent},
               {"time", TimeNow()}}),
         !changed);
  }
  TellProblems();
}

void PublishingDisplay::Result(const PortRun& run, const Tally* tally, std::string_view notRecorded) {
  shown_->Result(run, tally, notRecorded);
  const RunResult& result = run.Result();
  if (!result.outcome) return;
  Json state{{"port", run.Port()},
             {"state", "result"},
             {"percent", std::max<std::int64_t>(run.Snapshot().percent, 0)},
             {"outcome", static_cast<int>(*result.outcome)},
             {"message", OutcomeMessage(*result.outcome, run.Port())}};
  if (!result.reason.empty()) state["reason"] = result.reason;
  state["time"] = TimeNow();
  Live(run.Port(), Text(state), false);
  publisher_->ResultsWaiting();
  if (tally) {
    tally_ = *tally;
  } else {
    ++(*result.outcome == Outcome::kSuccess ? tally_.updated : tally_.failed);
  }
  publisher_->Status(Status("online"));
}

void PublishingDisplay::Forget(const PortRun& run) {
  shown_->Forget(run);
  sent_.erase(&run);
}

void PublishingDisplay::Appeared(std::string_view port, std::string_view leftAloneBecause) {
  shown_->Appeared(port, leftAloneBecause);
  Json state{{"port", port}, {"state", leftAloneBecause.empty() ? "appeared" : "left-alone"}};
  if (!leftAloneBecause.empty()) state["reason"] = leftAloneBecause;
  state["time"] = TimeNow();
  Live(port, Text(state), false);
}

void PublishingDisplay::Gone(std::string_view port) {
  shown_->Gone(port);
  Live(port, {}, false);
}

void PublishingDisplay::Ended(const Tally& tally) {
  shown_->Ended(tally);
  tally_ = tally;
}

}  // namespace fwu::cli
