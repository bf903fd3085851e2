#include "protocol/Outcome.h"

#include <array>

namespace fwu {
namespace {

struct Report {
  std::string_view title;
  std::string_view text;
};

// By outcome number.
constexpr std::array<Report, 6> kReports{{
    {"Information", "Device update!"},
    {"ERROR:1", "Firmware missing!"},
    {"ERROR:2", "Can't open the serial port: "},
    {"ERROR:3", "Device does not respond!"},
    {"ERROR:4", "No correct answer device!"},
    {"ERROR:5", "Update wrong!"},
}};

Report ReportOf(Outcome outcome) {
  auto index = static_cast<std::size_t>(outcome);
  return index < kReports.size() ? kReports[index] : Report{};
}

}  // namespace

std::string_view OutcomeTitle(Outcome outcome) { return ReportOf(outcome).title; }

std::string_view OutcomeText(Outcome outcome) { return ReportOf(outcome).text; }

std::string OutcomeMessage(Outcome outcome, std::string_view portName) {
  std::string text(OutcomeText(outcome));
  if (outcome == Outcome::kPortUnavailable) text += portName;
  return text;
}

}  // namespace fwu
