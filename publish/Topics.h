// The names a station uses on the broker: its topics, PREFIX/STATION/status,
// PREFIX/STATION/port/NAME and PREFIX/STATION/result, and its client's id.
// A station's or a port's name is one level: '%', '/', '+', '#', control
// characters, noncharacters and bytes that are not UTF-8 in it are
// percent-encoded, byte by byte ("/dev/ttyUSB0" is "%2Fdev%2FttyUSB0"), so
// that the broker takes every name a folder or a command line can hold.
#pragma once

#include <string>
#include <string_view>

namespace fwu::publish {

std::string TopicLevel(std::string_view name);
// "fwupload-STATION-UNIQUE": the station's first 40 bytes, all but ASCII
// letters, digits, '-' and '.' as '_', and `unique` in hex.
std::string ClientId(std::string_view station, unsigned unique);

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
