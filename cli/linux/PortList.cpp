// The ports libserialport finds, with their USB details. (It finds no ptys,
// and cannot open one by name: the line itself is TermiosLine.)
#include "cli/Platform.h"

#include <libserialport.h>

#include <cstdio>

namespace fwu::cli {
namespace {

struct PortListFree {
  void operator()(sp_port** ports) const { sp_free_port_list(ports); }
};

std::string Text(const char* text) { return text ? text : ""; }

PortInfo DescribePort(sp_port* port) {
  PortInfo info{Text(sp_get_port_name(port)), {}, {}, {}};
  if (sp_get_port_transport(port) != SP_TRANSPORT_USB) return info;
  info.description = Text(sp_get_port_usb_product(port));
  info.serial = Text(sp_get_port_usb_serial(port));
  int vid = 0;
  int pid = 0;
  if (sp_get_port_usb_vid_pid(port, &vid, &pid) == SP_OK) {
    char id[16];
    std::snprintf(id, sizeof id, "%04x:%04x", vid & 0xFFFF, pid & 0xFFFF);
    info.usbId = id;
  }
  return info;
}

}  // namespace

std::vector<PortInfo> ListPorts() {
  sp_port** found = nullptr;
  if (sp_list_ports(&found) != SP_OK) return {};
  std::unique_ptr<sp_port*, PortListFree> ports(found);
  std::vector<PortInfo> list;
  for (sp_port** port = ports.get(); *port; ++port) list.push_back(DescribePort(*port));
  return list;
}

}  // namespace fwu::cli
