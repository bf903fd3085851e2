#include "runtime/Runtime.h"

#include "runtime/base/Heap.h"
#include "runtime/thread/Thread.h"

void RuntimeStartup() {
  HeapStartup();
  TextAreaStartup();
  ThreadStartup();
}

void RuntimeShutdown() {
  ThreadShutdown();
  ThreadBlockShutdown();
  TextAreaShutdown();
  HeapShutdown();
}
