// The Open button: choose the firmware file with the open-file dialog.
#pragma once

#include <cstdint>

// Shows the dialog and puts the chosen path, or "trx.fw" after a cancel,
// into the firmware path field; a dialog that fails leaves the field as it
// was. Main thread.
void FileSelection(std::int64_t eventType);
