// Standard output and error as the upload writes them, from the main thread
// alone. A stream that fails once (a broken pipe, a full disk, a closed
// console) is written no more, and the runs never notice: the exit status
// stays the devices'. The first failure of standard output is told on
// standard error, where that still works.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace fwu::cli {

class Output {
 public:
  // `afterLoss`: what the note of a lost standard output says happens next.
  explicit Output(std::string afterLoss = "the updates go on, and the exit status tells how they ended")
      : afterLoss_(std::move(afterLoss)) {}
  void Out(std::string_view text);
  void Err(std::string_view text);
  bool OutLost() const { return outLost_; }

 private:
  std::string afterLoss_;
  bool outLost_ = false;
  bool errLost_ = false;
};

}  // namespace fwu::cli
