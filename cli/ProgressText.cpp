#include "cli/ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace fwu::cli {
namespace {

constexpr int kBarWidth = 20;

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

std::string LiveLine(std::string_view port, const BodyProgress& progress) {
  char figures[64];
  std::snprintf(figures, sizeof figures, "%4lld%%  %lld/%lld B", static_cast<long long>(std::max<std::int64_t>(progress.percent, 0)),
                static_cast<long long>(progress.bytes), static_cast<long long>(progress.total));
  return std::string(port) + " " + Bar(progress.percent) + " " + figures + "  " + Rate(progress) + "  " +
         Left(progress);
}

std::string StepLine(std::string_view port, const BodyProgress& progress) {
  return std::string(port) + ": " + std::to_string(progress.percent) + "% (" + std::to_string(progress.bytes) + "/" +
         std::to_string(progress.total) + " bytes)";
}

}  // namespace fwu::cli
