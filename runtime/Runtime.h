// Starts and stops every runtime service in the order the program needs.
#pragma once

// Heap, text areas, decoders and images, events, files, windows, controls,
// dialogs, serial channels, threads.
void RuntimeStartup();
// Threads, serial channels, controls, windows, files, events, images, the
// per-thread block and text areas. The heap and the services' tables stay
// until the process ends: other threads may still be inside a call.
void RuntimeShutdown();
