// Where a station keeps its records by default: the user's state folder, as
// the XDG base directories name it.
#include "cli/Platform.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace fwu::cli {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

// A relative $XDG_STATE_HOME is no state folder: the base directories say to
// ignore it.
std::string StateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return state;
  std::string home = HomeFolder();
  return home.empty() ? "" : home + "/.local/state";
}

}  // namespace

std::string DefaultRecordFile() {
  std::string state = StateFolder();
  return state.empty() ? "" : state + "/fwupload/records.sqlite";
}

}  // namespace fwu::cli
