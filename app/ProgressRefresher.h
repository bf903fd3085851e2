// The progress refresher: a background thread that keeps the progress bar in
// step with the program-wide progress value for the life of the program.
#pragma once

#include <cstdint>

// Thread entry (argument unused): every 100 ms, sets the progress bar from
// the progress value. Never returns.
std::int64_t RefreshProgress(std::int64_t argument);
