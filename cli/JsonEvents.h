// The --json output: one object a line, its keys in this order.
//   {"port":..,"event":"progress","percent":..,"bytes":..}
//   {"port":..,"event":"result","outcome":n,"message":"...","bytes":..,"seconds":..}
#pragma once

#include "protocol/Outcome.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace fwu::cli {

std::string JsonProgress(std::string_view port, std::int64_t percent, std::int64_t bytes);
// `bytes`: the body bytes the line took; `seconds`: the run's time, in ms.
std::string JsonResult(std::string_view port, Outcome outcome, std::int64_t bytes,
                       std::chrono::duration<double> seconds);

}  // namespace fwu::cli
