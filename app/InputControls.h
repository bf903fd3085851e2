// The four controls a user acts through: the port list, the firmware path
// field, Open and UPDATE!.
#pragma once

// Disables them (flag non-zero) or enables them (0), in that order.
void InputControlsDisable(int flag);
