#include "text/Utf8.h"

namespace fwu::text {

std::size_t Utf8Sequence(std::string_view text, char32_t& point) {
  if (text.empty()) return 0;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                         : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
  if (length == 0 || length > text.size()) return 0;
  point = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    point = point << 6 | (byte(i) & 0x3F);
  }
  bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
  bool outside = point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF);
  return overlong || outside ? 0 : length;
}

}  // namespace fwu::text
