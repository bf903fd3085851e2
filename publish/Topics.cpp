#include "publish/Topics.h"

#include "text/Utf8.h"

#include <cstdio>

namespace fwu::publish {
namespace {

// Whether the broker takes `point` in a topic or a client's id: no control
// character (C0, DEL, C1) and no noncharacter.
bool BrokerTakes(char32_t point) {
  bool control = point < 0x20 || (point >= 0x7F && point < 0xA0);
  bool noncharacter = (point >= 0xFDD0 && point <= 0xFDEF) || (point & 0xFFFE) == 0xFFFE;
  return !control && !noncharacter;
}

}  // namespace

std::string TopicLevel(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string level;
  while (!name.empty()) {
    char32_t point = 0;
    std::size_t length = text::Utf8Sequence(name, point);
    bool kept = length != 0 && BrokerTakes(point) && point != '%' && point != '/' && point != '+' && point != '#';
    if (length == 0) length = 1;
    for (char c : name.substr(0, length)) {
      if (kept) {
        level += c;
        continue;
      }
      auto byte = static_cast<unsigned char>(c);
      level += '%';
      level += kHex[byte >> 4];
      level += kHex[byte & 15];
    }
    name.remove_prefix(length);
  }
  return level;
}

std::string ClientId(std::string_view station, unsigned unique) {
  std::string id = "fwupload-";
  for (char c : station.substr(0, 40)) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    id += plain ? c : '_';
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%08x", unique);
  return id + suffix;
}

}  // namespace fwu::publish
