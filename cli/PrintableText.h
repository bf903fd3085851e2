// Text from outside (port and process names, a device's product string, the
// system's reasons) made safe to print to a terminal: anyone can name a
// process or a file with escape sequences that retitle or clear the
// operator's terminal, or with newlines that forge result lines in a log.
#pragma once

#include <string>
#include <string_view>

namespace fwu::cli {

// `text` with every control character (C0, DEL, C1) and every byte that is
// not UTF-8 shown as an escape: "\x1b", "\u009b". JSON output needs none of
// this: its strings are escaped.
std::string Printable(std::string_view text);

}  // namespace fwu::cli
