#include "cli/Output.h"

#include "cli/Platform.h"

namespace fwu::cli {

void Output::Out(std::string_view text) {
  if (outLost_ || text.empty()) return;
  if (auto why = WriteStandard(StandardStream::kOutput, text)) {
    outLost_ = true;
    Err("fwupload: standard output lost (" + *why + "); " + afterLoss_ + "\n");
  }
}

void Output::Err(std::string_view text) {
  if (errLost_ || text.empty()) return;
  if (WriteStandard(StandardStream::kError, text)) errLost_ = true;
}

}  // namespace fwu::cli
