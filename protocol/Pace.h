// How a run sends the body: the pace a caller chooses, and its name on a
// command line, in a result and in a record.
#pragma once

#include <optional>
#include <string_view>

namespace fwu {

enum class Pace {
  // One byte a write, the next only once the line reports nothing pending:
  // the window's pace, and the gaps some devices may rely on.
  kByte,
  // Larger writes that keep a bounded amount queued in the driver, so that
  // the wire never waits: the wire's own rate on a USB adapter too.
  kStream,
};

// "byte" or "stream".
std::string_view PaceName(Pace pace);
// The pace of that name; none for any other text.
std::optional<Pace> PaceNamed(std::string_view name);

}  // namespace fwu
