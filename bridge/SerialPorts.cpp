#include "bridge/SerialPorts.h"

#include "runtime/serial/Serial.h"

std::wstring PortName(int number) { return std::wstring(kPortNamePrefix) + std::to_wstring(number); }

std::int64_t SerialOpenForProbe(std::int64_t number, const wchar_t* name) {
  return SerialOpen(number, name, 9600, NOPARITY, 8, 1.0f, kSerialNoHandshake, 16, 16);
}
