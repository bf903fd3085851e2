// The --json output: one object a line, its keys in this order.
//   {"port":..,"event":"progress","percent":..,"bytes":..}
//   {"port":..,"event":"result","outcome":n,"message":"...","bytes":..,"seconds":..,"reason":"..."}
// ("reason" only where a failure's cause is known; "not_recorded":"WHY" when
// its record could not be written). A station (--watch) says where it
// records (null: nowhere) and the firmware's SHA-256 first, adds its tally to
// each result ("updated":..,"failed":..), and tells the ports that appear
// and go:
//   {"event":"station","record":"PATH"|null,"sha256":".."}
//   {"port":..,"event":"appeared","update":true|false,"reason":".."}  ("reason" when left alone)
//   {"port":..,"event":"gone"}
#pragma once

#include "cli/ResultText.h"
#include "protocol/Outcome.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace fwu::cli {

std::string JsonProgress(std::string_view port, std::int64_t percent, std::int64_t bytes);
// `bytes`: the body bytes the line took; `seconds`: the run's time, in ms;
// `reason`: why it failed, or empty; `tally`: a station's, or none;
// `notRecorded`: why its record failed, or empty.
std::string JsonResult(std::string_view port, Outcome outcome, std::int64_t bytes,
                       std::chrono::duration<double> seconds, std::string_view reason,
                       const Tally* tally = nullptr, std::string_view notRecorded = {});
// `recordFile`: empty when the station records nothing.
std::string JsonStation(std::string_view recordFile, std::string_view sha256);
// `leftAloneBecause`: empty when the port is updated.
std::string JsonAppeared(std::string_view port, std::string_view leftAloneBecause);
std::string JsonGone(std::string_view port);

}  // namespace fwu::cli
