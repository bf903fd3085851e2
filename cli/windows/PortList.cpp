// The ports as the window lists them (COM1 to COM99 that open), with the
// friendly name the system's device list gives a port where it has one.
#include "cli/Platform.h"
#include "cli/windows/SerialChannels.h"
#include "cli/windows/Wide.h"

#include "bridge/SerialPorts.h"
#include "runtime/serial/Serial.h"

#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include <map>

namespace fwu::cli {
namespace {

struct DeviceListFree {
  void operator()(HDEVINFO list) const noexcept { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceListFree>;

std::wstring DeviceText(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t text[256] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(list, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                         sizeof text - sizeof(wchar_t), nullptr))
    return {};
  return text;
}

std::wstring PortNameOf(HDEVINFO list, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t name[64] = {};
  DWORD size = sizeof name - sizeof(wchar_t);
  LSTATUS status = RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? name : L"";
}

// Friendly names by port name, from the present devices of the ports class.
std::map<std::wstring, std::wstring> FriendlyNames() {
  std::map<std::wstring, std::wstring> names;
  DeviceList list(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
  if (list.get() == INVALID_HANDLE_VALUE) {
    list.release();
    return names;
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
    std::wstring port = PortNameOf(list.get(), device);
    if (!port.empty()) names[port] = DeviceText(list.get(), device, SPDRP_FRIENDLYNAME);
  }
  return names;
}

}  // namespace

std::vector<PortInfo> ListPorts() {
  EnsureSerialChannels();
  std::map<std::wstring, std::wstring> friendly = FriendlyNames();
  std::vector<PortInfo> ports;
  for (int number = kFirstPort; number <= kLastPort; ++number) {
    std::wstring name = PortName(number);
    std::int64_t channel = SerialOpenForProbe(-1, name.c_str());
    if (!channel) continue;
    SerialClose(channel);
    PortInfo port{Narrowed(name), {}, {}, {}};
    if (auto found = friendly.find(name); found != friendly.end()) port.description = Narrowed(found->second);
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace fwu::cli
