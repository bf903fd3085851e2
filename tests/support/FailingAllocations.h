// Makes memory run out on demand: while a FailingAllocations lives, every
// operator new on the thread that made it throws std::bad_alloc. Linking this
// replaces the global operator new of the test program.
#pragma once

class FailingAllocations {
 public:
  FailingAllocations();
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};
