// fwupload --publish: what the display shows goes to the line's broker too.
// A display that passes every call on to the one that writes the output, and
// hands the station's status, each port's live state and the news of each
// result to the publisher, whose thread alone talks to the broker. The
// messages' JSON is formed here (see doc/line.md for the topics):
//   status {"station","state","since","file","path","sha256","version","patterns","tally"}
//   port   {"port","state","percent","outcome","message","reason","time"}
// A port's live state goes out when it changes, and its progress at most
// every kProgressInterval.
//
// Threads: the main thread alone, as every display.
#pragma once

#include "cli/Arguments.h"
#include "cli/Display.h"
#include "publish/Publisher.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fwu::cli {

inline constexpr std::chrono::milliseconds kProgressInterval{250};

struct StationFacts {
  std::string station;
  std::string file;    // the firmware's absolute path
  std::string sha256;  // of its bytes, in hex
  std::vector<std::string> patterns;
};

// `shown` as it is, or with --publish wrapped to publish too. Without a
// display, the reason publishing cannot start (its password file cannot be
// read).
struct Displayed {
  std::unique_ptr<Display> display;
  std::string problem;
};
Displayed WithPublishing(std::unique_ptr<Display> shown, Output& output, const Command& command,
                         const std::string& sha256);

class PublishingDisplay : public Display {
 public:
  PublishingDisplay(std::unique_ptr<Display> shown, Output& output, StationFacts facts,
                    std::unique_ptr<publish::Publisher> publisher, std::string brokerShown);
  // Publishes the status "offline" with the last tally and waits a little
  // for the results still waiting; tells how many are not published.
  ~PublishingDisplay() override;
  void Refresh(const RunView& runs) override;
  void Result(const PortRun& run, const Tally* tally) override;
  void Forget(const PortRun& run) override;
  void Settle() override { shown_->Settle(); }
  void Appeared(std::string_view port, std::string_view leftAloneBecause) override;
  void Gone(std::string_view port) override;
  void Ended(const Tally& tally) override;

 private:
  std::string Status(std::string_view state) const;
  void Live(std::string_view port, std::string payload, bool progress);
  void TellProblems();

  std::unique_ptr<Display> shown_;
  Output& output_;
  StationFacts facts_;
  std::unique_ptr<publish::Publisher> publisher_;
  std::string brokerShown_;
  std::string since_;
  Tally tally_;
  struct Sent {
    std::string state;
    std::int64_t percent = -1;
    std::chrono::steady_clock::time_point at{};
  };
  std::map<const PortRun*, Sent> sent_;
};

}  // namespace fwu::cli
