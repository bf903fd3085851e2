// An object of static storage that is made before first use and never
// destroyed.
//
// For the tables and locks that other threads can still reach while the
// process ends: a progress refresher, a wait-pool release or a worker inside
// a call may run while exit() tears down what has a destructor. What lives in
// one of these stays valid until the process is gone, as the runtime's heap
// does.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

template <class T>
class NeverDestroyed {
 public:
  template <class... Args>
  explicit NeverDestroyed(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;
  ~NeverDestroyed() = default;  // leaves the object alone

  T& operator*() noexcept { return *Get(); }
  T* operator->() noexcept { return Get(); }

 private:
  T* Get() noexcept { return std::launder(reinterpret_cast<T*>(storage_)); }

  alignas(T) std::byte storage_[sizeof(T)];
};
