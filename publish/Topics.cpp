#include "publish/Topics.h"

namespace fwu::publish {

std::string TopicLevel(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string level;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '%' || c == '/' || c == '+' || c == '#') {
      level += '%';
      level += kHex[byte >> 4];
      level += kHex[byte & 15];
    } else {
      level += c;
    }
  }
  return level;
}

}  // namespace fwu::publish
