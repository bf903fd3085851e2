// Fills the port list with the serial ports that open at start-up.
#pragma once

// Tries COM1 to COM99 in ascending order on channel 0 at 9600 8N1 and appends
// every name that opens. Main thread, once, before the event loop.
void PortProbe();
