#include "cli/Platform.h"

#include <unistd.h>

namespace fwu::cli {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

}  // namespace fwu::cli
