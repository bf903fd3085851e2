// Standard output and error as the upload writes them, from the main thread
// alone. A stream that fails once (a broken pipe, a full disk, a closed
// console) is written no more, and the runs never notice: the exit status
// stays the devices'. The first failure of standard output is told on
// standard error, where that still works.
#pragma once

#include <string_view>

namespace fwu::cli {

class Output {
 public:
  void Out(std::string_view text);
  void Err(std::string_view text);

 private:
  bool outLost_ = false;
  bool errLost_ = false;
};

}  // namespace fwu::cli
