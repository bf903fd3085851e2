// The times a person gives --history (--since, --until), as the records
// write them: UTC, ISO 8601 with milliseconds.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace fwu::cli {

// Accepted: an ISO 8601 time ("2026-12-09T08:30", seconds and milliseconds
// optional, a space for the T, "Z" or "+01:00" for its zone, none: local
// time), a date ("2026-12-09": its start, local time), "today" (its start),
// and a time ago: a number and s, m, h or d ("90m", "1h", "2d"). None for
// anything else.
std::optional<std::string> RecordTimeOf(std::string_view text, std::chrono::system_clock::time_point now);

}  // namespace fwu::cli
