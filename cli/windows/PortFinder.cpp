// The ports a station sees on Windows: the COM names the system's serial
// drivers have registered under HARDWARE\DEVICEMAP\SERIALCOMM (a USB
// adapter's is there while it is plugged in), matched against wildcard
// patterns without regard to case.
#include "cli/Platform.h"
#include "cli/windows/Wide.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

namespace fwu::cli {
namespace {

struct KeyClose {
  void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;

// The COM names registered now, sorted.
std::vector<std::wstring> RegisteredPorts() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return {};
  UniqueKey key(opened);
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t value[256];
    DWORD valueSize = ARRAYSIZE(value);
    wchar_t data[64] = {};
    DWORD dataSize = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    LSTATUS status = RegEnumValueW(key.get(), i, value, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                   &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS && type == REG_SZ && data[0]) names.push_back(data);
  }
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
