// The runtime's boundary against allocation failure: its operations give 0 or
// the empty text when memory runs out and never let an exception out to the
// program (on a worker thread that would end the process).
#pragma once

#include <new>

// The result of `call`, or `fallback` when an allocation inside it fails.
template <class Result, class Call>
Result OrOnNoMemory(Result fallback, Call&& call) noexcept {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return fallback;
  }
}
