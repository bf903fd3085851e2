// The runtime's private heap, from which services take their raw memory
// blocks (read buffers, dialog path buffers). HeapBlock owns one block.
//
// The heap is never destroyed: the process's end gives it back. A thread's
// per-thread block is freed on a wait-pool thread after the thread has ended,
// and a worker may still be inside a call when the program ends; either may
// free into the heap while shut-down runs or after it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

// Creates the growable heap (4096 bytes to start with, no maximum). Start-up
// calls it before any other service; a second call does nothing.
void HeapStartup();
// The heap, or the process heap while the runtime heap does not exist.
HANDLE RuntimeHeap();

// Frees a block back to the heap it came from.
struct HeapBlockFree {
  HANDLE heap = nullptr;
  void operator()(void* block) const noexcept { HeapFree(heap, 0, block); }
};
using HeapBlock = std::unique_ptr<std::byte[], HeapBlockFree>;

// A block of `bytes` from the runtime heap, zero-filled when asked; empty on
// failure.
HeapBlock HeapBlockAllocate(std::size_t bytes, bool zeroFilled);
