// Per-thread text areas: the scratch buffer in which a thread builds the texts
// it hands out. Each area belongs to its thread until the thread ends; then a
// wait-pool thread frees it (AtThreadExit).
#include "Thread.h"

#include "runtime/base/Heap.h"
#include "runtime/base/NoMemory.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

constexpr std::size_t kInitialBytes = 16;
constexpr std::size_t kGrowthBytes = 16384;
constexpr std::size_t kKeepBytes = std::size_t{1} << 20;
constexpr std::size_t kSlack = 4;

HANDLE g_heap = nullptr;
DWORD g_tls = TLS_OUT_OF_INDEXES;
std::atomic<std::size_t> g_count{0};

struct TextArea {
  HeapBlock buffer;
  std::size_t capacity = 0;
};

HeapBlock Allocate(std::size_t bytes) {
  return HeapBlock(static_cast<std::byte*>(HeapAlloc(g_heap, 0, bytes)), HeapBlockFree{g_heap});
}

TextArea* MakeArea() {
  auto area = std::make_unique<TextArea>();
  area->buffer = Allocate(kInitialBytes);
  area->capacity = area->buffer ? kInitialBytes : 0;
  ++g_count;
  return area.release();
}

void ReleaseArea(void* area) {
  delete static_cast<TextArea*>(area);
  --g_count;
}

TextArea* CurrentArea() {
  return g_tls == TLS_OUT_OF_INDEXES ? nullptr : static_cast<TextArea*>(TlsGetValue(g_tls));
}

// Makes the buffer fit `need` bytes: grown with room to spare when the need
// comes within kSlack bytes of its end, cut back when it has grown beyond
// kKeepBytes and the need is smaller.
bool Fit(TextArea& area, std::size_t need) {
  std::size_t capacity = area.capacity;
  if (need + kSlack > capacity)
    capacity = need + kGrowthBytes;
  else if (capacity > kKeepBytes)
    capacity = std::max(need + kSlack, kKeepBytes);
  if (capacity == area.capacity) return true;
  HeapBlock buffer = Allocate(capacity);
  if (!buffer) return false;
  area.buffer = std::move(buffer);
  area.capacity = capacity;
  return true;
}

}  // namespace

void TextAreaStartup() {
  if (!g_heap) g_heap = HeapCreate(0, 4096, 0);
  if (g_tls == TLS_OUT_OF_INDEXES) g_tls = TlsAlloc();
  if (!CurrentArea()) TlsSetValue(g_tls, MakeArea());
}

void TextAreaShutdown() {
  if (TextArea* area = CurrentArea()) {
    TlsSetValue(g_tls, nullptr);
    ReleaseArea(area);
  }
}

// Without memory for an area the thread goes on without one, and its
// requests give null.
void TextAreaEnter() {
  if (g_tls == TLS_OUT_OF_INDEXES || CurrentArea()) return;
  TextArea* area = OrOnNoMemory<TextArea*>(nullptr, MakeArea);
  if (!area) return;
  TlsSetValue(g_tls, area);
  AtThreadExit(ReleaseArea, area);
}

void* TextAreaReserve(std::size_t bytes) {
  TextAreaEnter();
  TextArea* area = CurrentArea();
  if (!area || !Fit(*area, bytes)) return nullptr;
  return area->buffer.get();
}

std::size_t TextAreaCount() { return g_count.load(); }
