#include "app/EventDispatcher.h"

#include "app/UpdaterState.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"

namespace {

// Open button: firmware file selection runs here, on the main thread, with
// the event type.
void OpenButtonPressed(std::int64_t /*eventType*/) {}

// UPDATE! button: an upload worker starts here with the event type as its
// argument, unless a run is active.
void UpdateButtonPressed(std::int64_t /*eventType*/) {}

// Any event of a button counts as a press. A control that was never made
// keeps the number 0 and matches nothing.
void DispatchControlEvent(std::int64_t control) {
  if (control == 0) return;
  if (control == g_updater.openButton) OpenButtonPressed(CurrentEventType());
  if (control == g_updater.updateButton) UpdateButtonPressed(CurrentEventType());
}

}  // namespace

int DispatchEvent(int code) {
  TextAreaEnter();
  switch (code) {
    case kCloseEvent: return 0;
    case kMenuEvent: CurrentEventObject(); return 1;  // the window has no menu
    case kControlEvent: DispatchControlEvent(CurrentEventObject()); return 1;
    default: return 1;
  }
}
