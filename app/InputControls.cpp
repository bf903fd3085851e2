#include "app/InputControls.h"

#include "app/UpdaterState.h"
#include "runtime/control/Control.h"

void InputControlsDisable(int flag) {
  for (std::int64_t control : {g_updater.portList, g_updater.firmwarePathField, g_updater.openButton,
                               g_updater.updateButton})
    ControlDisable(control, flag);
}
