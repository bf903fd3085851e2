#include "cli/UserTime.h"

#include "records/Records.h"

#include <charconv>
#include <ctime>

namespace fwu::cli {
namespace {

using Clock = std::chrono::system_clock;

// What a time written out says, before its zone is applied.
struct WrittenTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  std::optional<int> offsetMinutes;  // east of UTC; none: local time
};

// Reads exactly `digits` digits.
bool Number(std::string_view& text, int digits, int& value) {
  if (text.size() < static_cast<std::size_t>(digits)) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + digits, value);
  if (error != std::errc() || end != text.data() + digits) return false;
  text.remove_prefix(static_cast<std::size_t>(digits));
  return true;
}

bool Take(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

bool Zone(std::string_view text, WrittenTime& time) {
  if (text.empty()) return true;
  if (text == "Z") {
    time.offsetMinutes = 0;
    return true;
  }
  int sign = text.front() == '-' ? -1 : 1;
  if (!Take(text, '+') && !Take(text, '-')) return false;
  int hours = 0, minutes = 0;
  if (!Number(text, 2, hours)) return false;
  Take(text, ':');
  if (!Number(text, 2, minutes) || !text.empty()) return false;
  time.offsetMinutes = sign * (hours * 60 + minutes);
  return true;
}

std::optional<WrittenTime> Written(std::string_view text) {
  WrittenTime time;
  if (!Number(text, 4, time.year) || !Take(text, '-') || !Number(text, 2, time.month) || !Take(text, '-') ||
      !Number(text, 2, time.day))
    return std::nullopt;
  if (text.empty()) return time;
  if (!Take(text, 'T') && !Take(text, ' ')) return std::nullopt;
  if (!Number(text, 2, time.hour) || !Take(text, ':') || !Number(text, 2, time.minute)) return std::nullopt;
  if (Take(text, ':')) {
    if (!Number(text, 2, time.second)) return std::nullopt;
    if (Take(text, '.') && !Number(text, 3, time.millisecond)) return std::nullopt;
  }
  if (!Zone(text, time)) return std::nullopt;
  return time;
}

std::optional<Clock::time_point> Utc(const WrittenTime& time) {
  using namespace std::chrono;
  year_month_day date{year(time.year), month(static_cast<unsigned>(time.month)),
                      day(static_cast<unsigned>(time.day))};
  if (!date.ok() || time.hour > 23 || time.minute > 59 || time.second > 60) return std::nullopt;
  Clock::time_point at;
  if (time.offsetMinutes) {
    at = sys_days(date) + hours(time.hour) + minutes(time.minute - *time.offsetMinutes) + seconds(time.second);
  } else {
    std::tm local{};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;  // as the zone has it that day
    std::time_t seconds = std::mktime(&local);
    if (seconds == -1) return std::nullopt;
    at = Clock::from_time_t(seconds);
  }
  return at + milliseconds(time.millisecond);
}

std::optional<Clock::time_point> Ago(std::string_view text, Clock::time_point now) {
  if (text.size() < 2) return std::nullopt;
  long long count = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size() - 1, count);
  if (error != std::errc() || end != text.data() + text.size() - 1 || count < 0) return std::nullopt;
  constexpr std::pair<char, std::chrono::seconds> kUnits[] = {
      {'s', std::chrono::seconds(1)}, {'m', std::chrono::minutes(1)}, {'h', std::chrono::hours(1)},
      {'d', std::chrono::hours(24)}};
  for (const auto& [letter, unit] : kUnits)
    if (text.back() == letter) return now - count * unit;
  return std::nullopt;
}

// The start of the local day `now` is in.
std::optional<Clock::time_point> Today(Clock::time_point now) {
  std::time_t seconds = Clock::to_time_t(now);
  const std::tm* local = std::localtime(&seconds);  // the main thread's alone
  if (!local) return std::nullopt;
  WrittenTime start;
  start.year = local->tm_year + 1900;
  start.month = local->tm_mon + 1;
  start.day = local->tm_mday;
  return Utc(start);
}

}  // namespace

std::optional<std::string> RecordTimeOf(std::string_view text, Clock::time_point now) {
  std::optional<Clock::time_point> at;
  if (text == "today") at = Today(now);
  else if (auto written = Written(text)) at = Utc(*written);
  else at = Ago(text, now);
  if (!at) return std::nullopt;
  return records::UtcTime(*at);
}

}  // namespace fwu::cli
