// The ports a station sees on Windows: the COM names the system's serial
// drivers have registered under HARDWARE\DEVICEMAP\SERIALCOMM (a USB
// adapter's is there while it is plugged in), matched against wildcard
// patterns without regard to case.
#include "cli/Platform.h"
#include "cli/windows/SerialComm.h"
#include "cli/windows/Wide.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

namespace fwu::cli {
namespace {

// The COM names registered now, sorted.
std::vector<std::wstring> RegisteredPorts() {
  std::vector<std::wstring> names;
  for (SerialCommEntry& entry : SerialCommEntries()) names.push_back(std::move(entry.port));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<SeenPort> FindPorts(const std::vector<std::string>& patterns) {
  std::vector<std::wstring> registered = RegisteredPorts();
  std::vector<SeenPort> found;
  for (const std::string& pattern : patterns) {
    std::wstring wide = Widened(pattern);
    for (const std::wstring& name : registered) {
      if (!PathMatchSpecW(name.c_str(), wide.c_str())) continue;
      std::string narrow = Narrowed(name);
      found.push_back({narrow, PortIdentity(narrow), {}});
    }
  }
  return found;
}

std::vector<std::string> DefaultWatchPatterns() { return {"COM*"}; }

}  // namespace fwu::cli
