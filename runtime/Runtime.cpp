#include "runtime/Runtime.h"

#include "runtime/base/Heap.h"
#include "runtime/dialog/Dialog.h"
#include "runtime/file/File.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"

// Start-up order: heap, text areas, decoders (DecoderStartup, BmpDecoderStartup),
// images, events, files, windows, controls, dialogs, serial channels, threads.
// Shut-down order: threads, serial channels, controls, windows, files, events,
// images, the per-thread block, text areas, heap.
void RuntimeStartup() {
  HeapStartup();
  TextAreaStartup();
  EventStartup();
  FileStartup();
  WindowStartup();
  DialogStartup();
  ThreadStartup();
}

void RuntimeShutdown() {
  ThreadShutdown();
  WindowShutdown();
  FileShutdown();
  EventShutdown();
  ThreadBlockShutdown();
  TextAreaShutdown();
  HeapShutdown();
}
