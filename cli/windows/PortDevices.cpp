#include "cli/windows/PortDevices.h"

#include "cli/windows/Wide.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

namespace fwu::cli {
namespace {

struct DeviceInfoListTraits {
  using Type = HDEVINFO;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type list) noexcept { SetupDiDestroyDeviceInfoList(list); }
};
using UniqueDeviceInfoList = UniqueHandle<DeviceInfoListTraits>;

// A text property of a device node (of a list of texts, the first); empty
// when the node has none.
std::wstring NodeText(DEVINST node, ULONG property) {
  wchar_t text[512] = {};
  ULONG size = sizeof text - 2 * sizeof(wchar_t);  // room for a list's two terminators
  if (CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, text, &size, 0) != CR_SUCCESS) return {};
  return text;
}

std::wstring InstanceIdOf(DEVINST node) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return id;
}

// The port's own node when it is the USB device (CDC ACM, CP210x, CH340),
// else its parent when that is (an FTDI port, a composite device's
// interface); none for a port elsewhere (a Bluetooth link's parent is no USB
// device, and its adapter's ids are not the port's).
DEVINST UsbNodeOf(DEVINST port) {
  if (UsbIdentityOf(InstanceIdOf(port))) return port;
  DEVINST parent = 0;
  if (CM_Get_Parent(&parent, port, 0) == CR_SUCCESS && UsbIdentityOf(InstanceIdOf(parent))) return parent;
  return 0;
}

// Where the device sits: its location path ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"),
// else the driver's location text ("Port_#0002.Hub_#0001").
std::wstring LocationOf(DEVINST node) {
  std::wstring path = NodeText(node, CM_DRP_LOCATION_PATHS);
  return path.empty() ? NodeText(node, CM_DRP_LOCATION_INFORMATION) : path;
}

PortInfo Described(const std::wstring& port, DEVINST node) {
  PortInfo info;
  info.name = Narrowed(port);
  info.description = Narrowed(NodeText(node, CM_DRP_FRIENDLYNAME));
  DEVINST located = node;
  if (DEVINST usb = UsbNodeOf(node)) {
    UsbIdentity identity = *UsbIdentityOf(InstanceIdOf(usb));
    info.usbId = identity.usbId;
    info.serial = identity.serial;
    located = usb;
  }
  info.location = Narrowed(LocationOf(located));
  return info;
}

std::wstring PortNameOf(HDEVINFO list, SP_DEVINFO_DATA& device) {
  HKEY opened = SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (opened == INVALID_HANDLE_VALUE) return {};
  UniqueRegistryKey key(opened);
  wchar_t name[64] = {};
  DWORD size = sizeof name - sizeof(wchar_t);
  LSTATUS status = RegQueryValueExW(key.get(), L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
  return status == ERROR_SUCCESS ? name : L"";
}

// The four hex digits after `tag` in `ids`, in lower case.
std::optional<std::string> HexAfter(std::wstring_view ids, std::wstring_view tag) {
  std::size_t at = ids.find(tag);
  if (at == std::wstring_view::npos || ids.size() < at + tag.size() + 4) return std::nullopt;
  std::string digits;
  for (wchar_t c : ids.substr(at + tag.size(), 4)) {
    if (!std::iswxdigit(c)) return std::nullopt;
    digits += static_cast<char>(std::towlower(c));
  }
  return digits;
}

}  // namespace

std::optional<UsbIdentity> UsbIdentityOf(std::wstring_view instanceId) {
  constexpr std::wstring_view kEnumerator = L"USB\\";
  if (!instanceId.starts_with(kEnumerator)) return std::nullopt;
  std::wstring_view rest = instanceId.substr(kEnumerator.size());
  std::size_t split = rest.find(L'\\');
  std::wstring_view ids = rest.substr(0, split);
  if (ids.find(L"&MI_") != std::wstring_view::npos) return std::nullopt;
  std::optional<std::string> vendor = HexAfter(ids, L"VID_");
  std::optional<std::string> product = HexAfter(ids, L"PID_");
  if (!vendor || !product) return std::nullopt;
  UsbIdentity identity{*vendor + ":" + *product, {}};
  if (split != std::wstring_view::npos) {
    std::wstring_view serial = rest.substr(split + 1);
    if (serial.find(L'&') == std::wstring_view::npos) identity.serial = Narrowed(serial);
  }
  return identity;
}

std::vector<PortInfo> PresentPortDevices() {
  std::vector<PortInfo> devices;
  UniqueDeviceInfoList list(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
  if (!list) return devices;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
    std::wstring port = PortNameOf(list.get(), device);
    if (!port.empty()) devices.push_back(Described(port, device.DevInst));
  }
  return devices;
}

PortInfo DeviceOfPort(const std::vector<PortInfo>& devices, const std::string& port) {
  std::string identity = PortIdentity(port);
  auto named = std::find_if(devices.begin(), devices.end(),
                            [&](const PortInfo& device) { return PortIdentity(device.name) == identity; });
  PortInfo info = named == devices.end() ? PortInfo{} : *named;
  info.name = port;
  return info;
}

}  // namespace fwu::cli
