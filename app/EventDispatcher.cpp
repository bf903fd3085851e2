#include "app/EventDispatcher.h"

#include "app/FileSelection.h"
#include "app/UpdaterState.h"
#include "app/UploadGate.h"
#include "app/UploadRun.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"

namespace {

// Any event of a button counts as a press. A control that was never made
// keeps the number 0 and matches nothing. A press of Open queued before the
// run disabled the button does nothing while the run holds the controls: a
// path chosen then would not be the file that is sent.
void DispatchControlEvent(std::int64_t control) {
  if (control == 0) return;
  if (control == g_updater.openButton && !UploadActive()) FileSelection(CurrentEventType());
  if (control == g_updater.updateButton) UploadStart(CurrentEventType());
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
