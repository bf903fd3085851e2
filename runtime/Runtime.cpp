#include "runtime/Runtime.h"

#include "runtime/base/Heap.h"
#include "runtime/control/Control.h"
#include "runtime/dialog/Dialog.h"
#include "runtime/file/File.h"
#include "runtime/image/Image.h"
#include "runtime/serial/Serial.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"

// Start-up order: heap, text areas, decoders (DecoderStartup, BmpDecoderStartup),
// images, events, files, windows, controls, dialogs, serial channels, threads.
// Shut-down order: threads, serial channels, controls, windows, files, events,
// images, the per-thread block, text areas.
//
// Shut-down gives back what the platform holds for the program (ports, files,
// windows) and frees nothing that another thread may still reach: threads
// still running (the progress refresher, a worker stuck in a call) and
// releases still pending on wait-pool threads go on using the heaps and the
// tables until the process ends, which returns their memory.
void RuntimeStartup() {
  HeapStartup();
  TextAreaStartup();
  DecoderStartup();
  BmpDecoderStartup();
  ImageStartup();
  EventStartup();
  FileStartup();
  WindowStartup();
  ControlStartup();
  DialogStartup();
  SerialStartup();
  ThreadStartup();
}

void RuntimeShutdown() {
  ThreadShutdown();
  SerialShutdown();
  ControlShutdown();
  WindowShutdown();
  FileShutdown();
  EventShutdown();
  ImageShutdown();
  ThreadBlockShutdown();
  TextAreaShutdown();
}
