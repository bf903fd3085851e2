// Starts and stops every runtime service in the order the program needs.
#pragma once

// Heap, text areas, decoders and images, events, files, windows, controls,
// dialogs, serial channels, threads.
void RuntimeStartup();
// Threads, serial channels, controls, windows, files, events, images, the
// per-thread block and text areas, then the heap.
void RuntimeShutdown();
