// Text between the console uploader's UTF-8 and the system's UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace fwu::cli {

std::wstring Widened(std::string_view utf8);
std::string Narrowed(std::wstring_view utf16);

}  // namespace fwu::cli
