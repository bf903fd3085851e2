// Serving the updater window's events on the main thread.
#pragma once

// Passes every event to the dispatcher until it says stop. While nothing
// happens the main thread sleeps in the wait for messages, and calls that
// other threads make on the window's controls are served there at once.
void RunEventLoop();
