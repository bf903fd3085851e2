#include "runtime/Runtime.h"

#include "runtime/base/Heap.h"
#include "runtime/serial/Serial.h"
#include "runtime/thread/Thread.h"

// Start-up order: heap, text areas, decoders (DecoderStartup, BmpDecoderStartup),
// images, events, files, windows, controls, dialogs, serial channels, threads.
// Shut-down order: threads, serial channels, controls, windows, files, events,
// images, the per-thread block, text areas, heap.
void RuntimeStartup() {
  HeapStartup();
  TextAreaStartup();
  SerialStartup();
  ThreadStartup();
}

void RuntimeShutdown() {
  ThreadShutdown();
  SerialShutdown();
  ThreadBlockShutdown();
  TextAreaShutdown();
  HeapShutdown();
}
