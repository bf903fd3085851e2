// Runs a callable when the scope ends, for one-off clean-ups that have no
// handle type of their own.
#pragma once

#include <utility>

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
  ~ScopeExit() {
    if (active_) f_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void dismiss() noexcept { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

template <class F>
[[nodiscard]] ScopeExit<F> scope_exit(F f) noexcept {
  return ScopeExit<F>(std::move(f));
}
