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
// images, the per-thread block, text areas, heap.
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
  HeapShutdown();
}
