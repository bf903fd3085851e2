#include "cli/windows/SerialComm.h"

#include "runtime/base/UniqueHandle.h"

#include <windows.h>

namespace fwu::cli {

std::vector<SerialCommEntry> SerialCommEntries() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
  UniqueRegistryKey key(opened);
  std::vector<SerialCommEntry> entries;
  for (DWORD i = 0;; ++i) {
    wchar_t value[256];
    DWORD valueSize = ARRAYSIZE(value);
    wchar_t data[64] = {};
    DWORD dataSize = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    LSTATUS status = RegEnumValueW(key.get(), i, value, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                   &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS && type == REG_SZ && data[0]) entries.push_back({value, data});
  }
  return entries;
}

}  // namespace fwu::cli
