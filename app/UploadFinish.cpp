#include "app/UploadFinish.h"

#include "app/InputControls.h"
#include "app/UpdaterState.h"
#include "app/UploadGate.h"
#include "runtime/base/NoMemory.h"
#include "runtime/control/Control.h"
#include "runtime/dialog/Dialog.h"
#include "runtime/file/File.h"
#include "runtime/serial/Serial.h"
#include "runtime/thread/Thread.h"

#include <optional>

std::int64_t UploadFinish(fwu::Outcome outcome) {
  TextAreaEnter();
  if (FileIsOpen(0)) FileClose(0);
  if (SerialIsOpen(0)) SerialClose(0);
  ControlSetState(g_updater.progressBar, 0);
  InputControlsDisable(0);
  // From here on a new run may start, while this one still shows its box.
  UploadGateLeave();
  // Without memory for its texts no box is shown, and the run still ends as
  // every run does.
  std::optional<OutcomeMessage> message = OrOnNoMemory(std::optional<OutcomeMessage>(), [&] {
    return std::optional(OutcomeMessageFor(outcome, ControlGetText(g_updater.portList)));
  });
  if (message && !UploadCancelled()) MessageBoxShow(message->title.c_str(), message->text.c_str());
  g_updater.progress = 0;
  return 0;
}
