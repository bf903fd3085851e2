// Threads and timing: background threads, millisecond delays, and the state
// each thread keeps for the runtime (its text area and its per-thread block),
// released after the thread has ended.
//
// Return rules: ThreadStart gives 0 when no thread could be made;
// ThreadIsRunning gives 0 for a number that names no running thread. Nothing
// here shows messages or keeps error codes.
#pragma once

#include <cstddef>
#include <cstdint>

// A thread's procedure: one integer in, the thread's exit code out.
using ThreadProcedure = std::int64_t (*)(std::int64_t argument);
// A procedure run after a thread has ended, with the argument given at
// registration.
using ThreadExitProcedure = void (*)(void* argument);
// Init or end procedure of a per-thread slot; gets the slot's address.
using ThreadSlotProcedure = void (*)(void* slot);

// --- Threads ---------------------------------------------------------------
void ThreadStartup();
// Closes every remembered thread handle; running threads are not waited for.
void ThreadShutdown();
// Starts `procedure(argument)` on a new thread. Numbers start at 1 and are
// never reused; an ended thread keeps its entry until the next ThreadStart.
std::int64_t ThreadStart(ThreadProcedure procedure, std::int64_t argument);
int ThreadIsRunning(std::int64_t number);
// Entries the registry holds now, ended threads included.
std::size_t ThreadEntryCount();

// --- Timing ----------------------------------------------------------------
// Sleeps the calling thread. The first call of the process raises the timer
// resolution to 1 ms for good, and asks the system to honour it also while
// the process's windows are minimized or hidden. 0 yields the rest of the time slice.
void DelayMs(std::int64_t milliseconds);
// Whether the 1 ms resolution has been requested.
bool TimerResolutionRaised();

// --- Text areas ------------------------------------------------------------
// Creates the text heap and gives the calling (main) thread its area.
void TextAreaStartup();
// Releases the calling thread's area and the heap.
void TextAreaShutdown();
// Gives the calling thread a text area if it has none; the area of any other
// thread than the main one is released after that thread has ended.
void TextAreaEnter();
// Room for `bytes` in the calling thread's area (entered first if needed):
// the start of the buffer, valid until the thread's next request. Null when
// no memory could be had.
void* TextAreaReserve(std::size_t bytes);
// Text areas that exist now, for observing their release.
std::size_t TextAreaCount();

// --- Per-thread block ------------------------------------------------------
// Reserves a zero-filled slot of `size` bytes (rounded up to 8) in every
// thread's block and returns its offset. Start-up only. `init` runs on each
// block's slot when the block is made, `end` when it is released.
std::size_t ThreadSlotReserve(std::size_t size, ThreadSlotProcedure init, ThreadSlotProcedure end);
// The calling thread's slot at `offset`; its block is made on first use.
void* ThreadSlotGet(std::size_t offset);
// Releases the calling thread's block (end procedures first). Program end.
void ThreadBlockShutdown();

// --- Thread exit -----------------------------------------------------------
// Runs `procedure(argument)` on a wait-pool thread after the calling thread
// has ended; pairs run most recently registered first.
void AtThreadExit(ThreadExitProcedure procedure, void* argument);
