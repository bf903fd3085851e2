// What an open writes into the port: device path, DCB fields, time-outs.
#include "runtime/serial/Serial.h"

#include <cwchar>

std::wstring SerialDevicePath(const wchar_t* name) {
  if (!name) return {};
  return L"\\\\.\\" + std::wstring(name, wcsnlen(name, kSerialNameLimit));
}

BYTE SerialStopBitsCode(float stopBits) {
  if (stopBits == 1.0f) return ONESTOPBIT;
  if (stopBits == 2.0f) return TWOSTOPBITS;
  return ONE5STOPBITS;
}

SerialXonXoffLimits SerialXonXoffLimitsFor(std::int32_t inputQueue) {
  std::int32_t tenth = inputQueue / 10;
  return {static_cast<WORD>(tenth), static_cast<WORD>(tenth * 7)};
}

namespace {

// Only the fields the mode names change; the rest stay as the driver had them.
void ApplyHandshake(DCB& dcb, std::int32_t handshake, std::int32_t inputQueue) {
  switch (handshake) {
    case kSerialNoHandshake:
      dcb.fOutxCtsFlow = 0;
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      break;
    case kSerialRtsRaised:
      dcb.fOutxCtsFlow = 0;
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      break;
    case kSerialRtsCts:
      dcb.fOutxCtsFlow = 1;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      break;
    case kSerialXonXoff: {
      dcb.fOutX = 1;
      dcb.fInX = 1;
      dcb.XonChar = 0x11;
      dcb.XoffChar = 0x13;
      SerialXonXoffLimits limits = SerialXonXoffLimitsFor(inputQueue);
      dcb.XonLim = limits.xonLimit;
      dcb.XoffLim = limits.xoffLimit;
      break;
    }
    default:
      break;
  }
}

}  // namespace

void SerialApplySettings(DCB& dcb, std::uint32_t baud, int parity, int dataBits, float stopBits,
                         std::int32_t handshake, std::int32_t inputQueue) {
  dcb.BaudRate = baud;
  dcb.fParity = 1;
  dcb.ByteSize = static_cast<BYTE>(dataBits);
  dcb.Parity = static_cast<BYTE>(parity);
  dcb.StopBits = SerialStopBitsCode(stopBits);
  ApplyHandshake(dcb, handshake, inputQueue);
}

COMMTIMEOUTS SerialTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 100;
  timeouts.WriteTotalTimeoutConstant = 10;
  return timeouts;
}
