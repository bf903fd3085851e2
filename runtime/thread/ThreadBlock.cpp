// The per-thread block: one zero-filled memory block per thread, cut into the
// slots that services reserve at start-up. The layout is written during
// start-up only and read afterwards; each block belongs to its thread, and
// after the thread has ended to the wait-pool callback that releases it.
#include "Thread.h"

#include "runtime/base/Heap.h"
#include "runtime/base/NeverDestroyed.h"
#include "runtime/base/NoMemory.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct SlotLayout {
  std::size_t offset;
  std::size_t size;
  ThreadSlotProcedure init;
  ThreadSlotProcedure end;
};

NeverDestroyed<std::vector<SlotLayout>> g_layout;
std::size_t g_blockSize = 0;
DWORD g_tls = TLS_OUT_OF_INDEXES;

struct Block {
  HeapBlock memory;
  std::size_t size = 0;
};

// Runs every end procedure, most recently reserved slot first, then frees.
void ReleaseBlock(void* pointer) {
  std::unique_ptr<Block> block(static_cast<Block*>(pointer));
  for (auto it = g_layout->rbegin(); it != g_layout->rend(); ++it)
    if (it->end && it->offset < block->size) it->end(block->memory.get() + it->offset);
}

// Makes the block cover the whole layout: new slots are zero-filled and their
// init procedures run, most recently reserved first.
void Extend(Block& block) {
  if (block.size == g_blockSize) return;
  HeapBlock memory = HeapBlockAllocate(g_blockSize, true);
  if (!memory) return;
  if (block.memory) std::memcpy(memory.get(), block.memory.get(), block.size);
  std::size_t oldSize = block.size;
  block.memory = std::move(memory);
  block.size = g_blockSize;
  for (auto it = g_layout->rbegin(); it != g_layout->rend(); ++it)
    if (it->init && it->offset >= oldSize) it->init(block.memory.get() + it->offset);
}

Block* CurrentBlock(bool releaseAtExit) {
  if (g_tls == TLS_OUT_OF_INDEXES) g_tls = TlsAlloc();
  auto* block = static_cast<Block*>(TlsGetValue(g_tls));
  if (!block) {
    block = new Block;
    TlsSetValue(g_tls, block);
    if (releaseAtExit) AtThreadExit(ReleaseBlock, block);
  }
  Extend(*block);
  return block;
}

}  // namespace

std::size_t ThreadSlotReserve(std::size_t size, ThreadSlotProcedure init, ThreadSlotProcedure end) {
  std::size_t offset = g_blockSize;
  g_layout->push_back(SlotLayout{offset, size, init, end});
  g_blockSize += (size + 7) / 8 * 8;
  // The reserving thread is start-up's own, whose block lives until
  // ThreadBlockShutdown.
  CurrentBlock(false);
  return offset;
}

// Null, too, when no memory could be had for the block.
void* ThreadSlotGet(std::size_t offset) {
  Block* block = OrOnNoMemory<Block*>(nullptr, [] { return CurrentBlock(true); });
  return block && offset < block->size ? block->memory.get() + offset : nullptr;
}

void ThreadBlockShutdown() {
  if (g_tls == TLS_OUT_OF_INDEXES) return;
  if (auto* block = static_cast<Block*>(TlsGetValue(g_tls))) {
    TlsSetValue(g_tls, nullptr);
    ReleaseBlock(block);
  }
}
