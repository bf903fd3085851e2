// The updater's program-wide state.
//
// Ownership by thread: the main thread sets the window and control numbers
// while it builds the window, before any other thread of the updater starts;
// afterwards every thread only reads them. The two buffers belong to the one
// upload worker that runs at a time. The progress value is written by the
// upload worker and read by the progress refresher, without a lock.
#pragma once

#include "protocol/UploadEngine.h"

#include <atomic>
#include <cstdint>

// The firmware file the path field starts with, relative to the current
// directory.
inline constexpr wchar_t kDefaultFirmwarePath[] = L"trx.fw";

struct UpdaterState {
  // What the device answered, and what goes to it; lent to each upload run.
  fwu::ExchangeBuffers buffers;

  // Object numbers of the updater window and its controls; 0 while missing.
  std::int64_t window = 0;
  std::int64_t portList = 0;
  std::int64_t firmwarePathField = 0;
  std::int64_t openButton = 0;
  std::int64_t progressBar = 0;
  std::int64_t updateButton = 0;

  // 0..100.
  std::atomic<std::int64_t> progress{0};
};

inline UpdaterState g_updater;
