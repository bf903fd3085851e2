// The computer's and the user's names, as the records keep them.
#include "cli/Platform.h"
#include "cli/windows/Wide.h"

#include <windows.h>

namespace fwu::cli {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = ARRAYSIZE(name);
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
  return Narrowed(name);
}

std::string UserName() {
  wchar_t name[257] = {};
  DWORD size = ARRAYSIZE(name);
  if (!GetUserNameW(name, &size)) return {};
  return Narrowed(name);
}

}  // namespace fwu::cli
