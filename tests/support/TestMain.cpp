// Entry of every test binary: the runtime runs for the whole binary, started
// and stopped as the program does it.
#include "runtime/Runtime.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  RuntimeStartup();
  int result = RUN_ALL_TESTS();
  RuntimeShutdown();
  return result;
}
