#include "Heap.h"

namespace {
HANDLE g_heap = nullptr;
}  // namespace

void HeapStartup() {
  if (!g_heap) g_heap = HeapCreate(0, 4096, 0);
}

HANDLE RuntimeHeap() { return g_heap ? g_heap : GetProcessHeap(); }

HeapBlock HeapBlockAllocate(std::size_t bytes, bool zeroFilled) {
  HANDLE heap = RuntimeHeap();
  void* block = HeapAlloc(heap, zeroFilled ? HEAP_ZERO_MEMORY : 0, bytes);
  return HeapBlock(static_cast<std::byte*>(block), HeapBlockFree{heap});
}
