// The computer's and the user's names, as the records keep them.
#include "cli/Platform.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace fwu::cli {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// The user the program runs as (a sudo shows as root), else who the
// environment says.
std::string UserName() {
  if (const passwd* user = getpwuid(geteuid()); user && user->pw_name) return user->pw_name;
  const char* name = std::getenv("USER");
  return name ? name : "";
}

}  // namespace fwu::cli
