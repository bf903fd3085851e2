#include "cli/ProgressText.h"

#include "cli/PrintableText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace fwu::cli {
namespace {

constexpr int kBarWidth = 20;
constexpr std::string_view kEllipsis = "...";
// A port name shortened to less than this tells little: the bar goes first.
constexpr std::size_t kShortestPort = 12;

std::string Bar(std::int64_t percent) {
  auto filled = static_cast<std::size_t>(std::clamp<std::int64_t>(percent, 0, 100) * kBarWidth / 100);
  std::string bar(kBarWidth + 2, '-');
  bar.front() = '[';
  bar.replace(1, filled, filled, '#');
  bar.back() = ']';
  return bar;
}

std::string Rate(const BodyProgress& progress) {
  auto rate = BytesPerSecond(progress);
  if (!rate) return "-- kB/s";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f kB/s", *rate / 1000);
  return text;
}

std::string Left(const BodyProgress& progress) {
  auto left = TimeLeft(progress);
  if (!left) return "--:-- left";
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld left", static_cast<long long>(left->count() / 60),
                static_cast<long long>(left->count() % 60));
  return text;
}

// While the device is awaited, how long; else the rate and the time left.
std::string Pace(const BodyProgress& progress) {
  if (progress.awaiting)
    return "waiting for the device " + std::to_string(static_cast<long long>(progress.awaiting->count())) + "s";
  return Rate(progress) + "  " + Left(progress);
}

bool ContinuesCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The end of `text` in `width` columns, its start replaced by "...", cut
// where a UTF-8 character begins.
std::string WithoutStart(std::string_view text, std::size_t width) {
  std::size_t from = text.size() - (width - kEllipsis.size());
  while (from < text.size() && ContinuesCharacter(text[from])) ++from;
  std::string shortened(kEllipsis);
  return shortened.append(text.substr(from));
}

// The start of `text` in `width` columns, cut where a UTF-8 character begins.
std::string WithoutEnd(std::string_view text, std::size_t width) {
  std::size_t end = std::min(width, text.size());
  while (end > 0 && end < text.size() && ContinuesCharacter(text[end])) --end;
  return std::string(text.substr(0, end));
}

}  // namespace

std::optional<double> BytesPerSecond(const BodyProgress& progress) {
  if (progress.bytes < 2 || progress.elapsed.count() <= 0) return std::nullopt;
  // The clock starts at the first byte: the rate is of the bytes after it.
  return static_cast<double>(progress.bytes - 1) / progress.elapsed.count();
}

std::optional<std::chrono::seconds> TimeLeft(const BodyProgress& progress) {
  auto rate = BytesPerSecond(progress);
  if (!rate || *rate <= 0) return std::nullopt;
  double left = static_cast<double>(std::max<std::int64_t>(progress.total - progress.bytes, 0)) / *rate;
  return std::chrono::seconds(static_cast<std::int64_t>(std::ceil(left)));
}

std::string LiveLine(std::string_view name, const BodyProgress& progress, std::size_t width) {
  const std::string port = Printable(name);
  char figures[64];
  std::snprintf(figures, sizeof figures, "%4lld%%  %lld/%lld B", static_cast<long long>(std::max<std::int64_t>(progress.percent, 0)),
                static_cast<long long>(progress.bytes), static_cast<long long>(progress.total));
  std::string figuresAlone = " ";
  figuresAlone.append(figures).append("  ").append(Pace(progress));
  const std::string withBar = " " + Bar(progress.percent) + figuresAlone;
  if (port.size() + withBar.size() <= width) return std::string(port) + withBar;
  if (withBar.size() + kShortestPort <= width) return WithoutStart(port, width - withBar.size()) + withBar;
  if (port.size() + figuresAlone.size() <= width) return std::string(port) + figuresAlone;
  if (figuresAlone.size() + kEllipsis.size() < width)
    return WithoutStart(port, width - figuresAlone.size()) + figuresAlone;
  return WithoutEnd(std::string(port) + figuresAlone, width);
}

std::string StepLine(std::string_view port, const BodyProgress& progress) {
  return Printable(port) + ": " + std::to_string(progress.percent) + "% (" + std::to_string(progress.bytes) + "/" +
         std::to_string(progress.total) + " bytes)";
}

}  // namespace fwu::cli
