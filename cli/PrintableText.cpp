#include "cli/PrintableText.h"

#include <cstdio>

namespace fwu::cli {
namespace {

std::string Escaped(const char* form, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, form, value);
  return text;
}

// The length of the UTF-8 sequence at the start of `text` and the code
// point it encodes; 0 when it is not one (a stray or overlong byte).
std::size_t Sequence(std::string_view text, char32_t& point) {
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

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    char32_t point = 0;
    std::size_t length = Sequence(text, point);
    if (length == 0) {
      shown += Escaped("\\x%02x", static_cast<unsigned char>(text[0]));
      length = 1;
    } else if (point < 0x20 || point == 0x7F) {
      shown += Escaped("\\x%02x", static_cast<unsigned>(point));
    } else if (point >= 0x80 && point < 0xA0) {
      shown += Escaped("\\u%04x", static_cast<unsigned>(point));
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return shown;
}

}  // namespace fwu::cli
