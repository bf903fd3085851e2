// The updater's reaction to window events: the only place that acts on what
// the user does.
#pragma once

// Handles one event code (0 when nothing was pending). Returns 1 to go on,
// 0 when the window was closed and the event loop must end.
int DispatchEvent(int code);
