#include "tests/support/FailingAllocations.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_failing = false;

}  // namespace

FailingAllocations::FailingAllocations() { t_failing = true; }
FailingAllocations::~FailingAllocations() { t_failing = false; }

void* operator new(std::size_t size) {
  void* block = t_failing ? nullptr : std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
