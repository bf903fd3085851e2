#include "cli/PrintableText.h"

#include "text/Utf8.h"

#include <cstdio>

namespace fwu::cli {
namespace {

std::string Escaped(const char* form, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, form, value);
  return text;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    char32_t point = 0;
    std::size_t length = text::Utf8Sequence(text, point);
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
