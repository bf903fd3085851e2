// UTF-8 as it comes from outside (file and port names, a device's strings):
// read one character at a time, telling what is not UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

namespace fwu::text {

// The length of the UTF-8 sequence at the start of `text` and the code point
// it encodes; 0 when it is not one (a stray or overlong byte, a surrogate, a
// point beyond U+10FFFF, a sequence cut short).
std::size_t Utf8Sequence(std::string_view text, char32_t& point);

}  // namespace fwu::text
