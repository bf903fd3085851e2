// The topics a station publishes under: PREFIX/STATION/status,
// PREFIX/STATION/port/NAME and PREFIX/STATION/result. A station's or a
// port's name is one level: '%', '/', '+', '#' and bytes below 0x20 in it are
// percent-encoded ("/dev/ttyUSB0" is "%2Fdev%2FttyUSB0").
#pragma once

#include <string>
#include <string_view>

namespace fwu::publish {

std::string TopicLevel(std::string_view name);

class Topics {
 public:
  Topics(std::string_view prefix, std::string_view station)
      : base_(std::string(prefix) + "/" + TopicLevel(station)) {}
  std::string Status() const { return base_ + "/status"; }
  std::string Port(std::string_view name) const { return base_ + "/port/" + TopicLevel(name); }
  std::string Result() const { return base_ + "/result"; }

 private:
  std::string base_;
};

}  // namespace fwu::publish
