#include "cli/windows/PortName.h"

#include "cli/Platform.h"
#include "cli/windows/Wide.h"

#include <windows.h>

namespace fwu::cli {

namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";

}  // namespace

std::string_view BarePortName(std::string_view port) {
  if (port.starts_with(kDeviceNamespace)) port.remove_prefix(kDeviceNamespace.size());
  return port;
}

// Port names go to the system as they were typed ("COM3", "\\.\COM12").
std::string NormalizePortName(std::string_view name) { return std::string(name); }

// The system looks device names up without case: "com12", "COM12" and
// "\\.\Com12" are one port.
std::string PortIdentity(const std::string& port) {
  std::wstring name = Widened(BarePortName(port));
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return Narrowed(name);
}

}  // namespace fwu::cli
