// At most one upload run at a time, and a clean stop when the program closes.
//
// The main thread enters the gate when it starts a worker and closes it at
// exit; the worker leaves it once it has given the controls back (or has
// stopped for the close). Both fields are atomics shared by those threads.
#pragma once

#include <chrono>

// True when no run was active: the caller's run is active from now on.
bool UploadGateEnter();
// The active run no longer uses file 0 or channel 0 and gives up its turn.
void UploadGateLeave();
// True from a run's start until it has given the controls back.
bool UploadActive();
// True once the program is closing: the run stops and reports nothing.
bool UploadCancelled();
// Lets no new run start, tells an active one to stop and waits, serving the
// messages the worker sends to this thread's windows, until it has left or
// `limit` has passed.
void UploadGateClose(std::chrono::milliseconds limit);
