// Serving the updater window's events on the main thread.
#pragma once

// How long one wait for messages may last. A wait ends early for any posted
// or sent message; its end only hands the dispatcher a 0. A wait without
// limit (GetMessageW) is not used: it serves sent messages inside itself and
// would sit on the events they queue until some message is posted.
inline constexpr int kIdleWaitMs = 250;

// Passes every event to the dispatcher until it says stop. While nothing
// happens the main thread sleeps in the wait for messages, and calls that
// other threads make on the window's controls are served there at once.
void RunEventLoop();
