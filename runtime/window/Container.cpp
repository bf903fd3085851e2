// The current container: per thread, the window that the thread's new
// controls go into. Each thread reads and writes only its own slot.
#include "runtime/window/WindowInternal.h"

#include "runtime/thread/Thread.h"

#include <atomic>

namespace {

std::atomic<bool> g_reserved{false};
std::size_t g_slot = 0;  // written at start-up, before other threads exist

HWND* Slot() { return g_reserved ? static_cast<HWND*>(ThreadSlotGet(g_slot)) : nullptr; }

}  // namespace

void ContainerSlotReserve() {
  if (g_reserved) return;
  g_slot = ThreadSlotReserve(sizeof(HWND), nullptr, nullptr);
  g_reserved = true;
}

void SetCurrentContainer(HWND window) {
  if (HWND* slot = Slot()) *slot = window;
}

void ForgetCurrentContainer(HWND window) {
  HWND* slot = Slot();
  if (slot && *slot == window) *slot = nullptr;
}

HWND CurrentContainerWindow() {
  HWND* slot = Slot();
  return slot ? *slot : nullptr;
}

HFONT CurrentContainerFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }
