// Progress as fwupload prints it: the live line of a terminal, the line at
// each further 10 % when the output is not one, and the pace they show.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fwu::cli {

// Where one port's body stands.
struct BodyProgress {
  std::int64_t percent = -1;  // -1 before the first body byte
  std::int64_t bytes = 0;     // body bytes the line has taken
  std::int64_t total = 0;     // the body's length
  std::chrono::duration<double> elapsed{};  // since the first body byte
  // How long the run has been waiting for the device's answer, while it is.
  std::optional<std::chrono::duration<double>> awaiting{};
};

// Body bytes a second so far; none until there is a rate to tell.
std::optional<double> BytesPerSecond(const BodyProgress& progress);
// The time the rest of the body takes at the rate so far.
std::optional<std::chrono::seconds> TimeLeft(const BodyProgress& progress);

// "PORT [#########-----------]   45%  14742/32752 B  5.8 kB/s  0:03 left", or
// while the device is awaited "PORT [...]  100%  32752/32752 B  waiting for
// the device 3s". Fitted into `width` columns: the port name loses its start
// first ("...by-id/usb-FTDI_..."), then the bar; the figures stay.
std::string LiveLine(std::string_view port, const BodyProgress& progress,
                     std::size_t width = std::string::npos);
// "PORT: 40% (13100/32752 bytes)"
std::string StepLine(std::string_view port, const BodyProgress& progress);
// The 10 % step a percentage has reached: 0 for 0..9, 10 for 100.
inline std::int64_t TenthOf(std::int64_t percent) { return percent / 10; }

}  // namespace fwu::cli
