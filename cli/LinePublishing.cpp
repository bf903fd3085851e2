#include "cli/LinePublishing.h"

#include "cli/JsonEvents.h"
#include "cli/Platform.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <random>

namespace fwu::cli {
namespace {

using Json = nlohmann::ordered_json;

// How long a station's end waits for the broker to take what is left.
constexpr std::chrono::seconds kFinishPatience{5};

std::string Text(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// "2026-12-09T08:30:00.123Z"
std::string UtcTimestamp(std::chrono::system_clock::time_point at) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[32];
  std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(ms % 1000));
  return text;
}

std::string TimeNow() { return UtcTimestamp(std::chrono::system_clock::now()); }

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
std::string ClientId(const std::string& station) {
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(random()));
  return "fwupload-" + station.substr(0, 40) + suffix;
}

std::string AbsolutePath(const std::string& utf8) {
  std::error_code error;
  auto path = std::filesystem::absolute(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), error);
  if (error) return utf8;
  std::u8string text = path.lexically_normal().u8string();
  return {text.begin(), text.end()};
}

Json Offline(const std::string& station) { return {{"station", station}, {"state", "offline"}, {"lost", true}}; }

}  // namespace

Displayed WithPublishing(std::unique_ptr<Display> shown, Output& output, const Command& command,
                         const std::string& sha256) {
  if (!command.publish) return {std::move(shown), {}};
  StationFacts facts{.station = command.station.empty() ? HostName() : command.station,
                     .file = AbsolutePath(command.file),
                     .sha256 = sha256,
                     .patterns = command.action == Action::kWatch && command.ports.empty() ? DefaultWatchPatterns()
                                                                                            : command.ports};
  std::optional<std::string> password;
  if (!ReadPassword(command.publishPasswordFile, password))
    return {nullptr, "cannot read the password file " + command.publishPasswordFile};
  publish::PublisherSettings settings{.broker = *command.publish,
                                      .password = std::move(password),
                                      .caFile = command.publishCa,
                                      .station = facts.station,
                                      .clientId = ClientId(facts.station),
                                      .lostStatus = Text(Offline(facts.station))};
  auto publisher = std::make_unique<publish::Publisher>(std::move(settings), nullptr);
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

void PublishingDisplay::Result(const PortRun& run, const Tally* tally) {
  shown_->Result(run, tally);
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
