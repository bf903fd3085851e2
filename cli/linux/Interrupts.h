// What the Linux side's output needs to know of an interrupt.
#pragma once

namespace fwu::cli {

// True once the user interrupted the program long enough ago that a write
// still blocked on a reader who is not reading should give up.
bool LastWordsOverdue();

}  // namespace fwu::cli
