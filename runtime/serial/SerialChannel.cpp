// The channel table and the operations on open channels.
//
// Threads: g_channels is made by SerialStartup on the main thread before any
// other thread uses channels, and kept until the process ends: SerialShutdown
// closes every channel, but a worker may still be inside a call. Records are
// reached only under the table's lock (ObjectRegistry::With); the port handle
// is copied out under it and the driver call made after it is dropped, so a
// blocking read never holds the table. That copy stays valid because a channel
// is used by one thread at a time (Serial.h). Handles leave the table with
// Take and are closed once the lock is gone.
#include "runtime/serial/Serial.h"

#include "runtime/base/NoMemory.h"
#include "runtime/base/UniqueHandle.h"
#include "runtime/registry/ObjectRegistry.h"

#include <optional>
#include <utility>

namespace {

struct Channel {
  UniqueFileHandle handle;
};

using ChannelTable = ObjectRegistry<Channel>;

ChannelTable* g_channels = nullptr;

// The taken record, and with it the port, is closed when Take's result goes.
void CloseChannel(std::int64_t number) { g_channels->Take(number); }

// The handle of an open channel, or null.
HANDLE PortOf(std::int64_t number) {
  if (!g_channels) return nullptr;
  return g_channels->With(number, [](Channel& channel) { return channel.handle.get(); }).value_or(nullptr);
}

bool Configure(HANDLE port, std::uint32_t baud, int parity, int dataBits, float stopBits,
               std::int32_t handshake, std::int32_t inputQueue, std::int32_t outputQueue) {
  if (inputQueue > 0 && outputQueue > 0)
    SetupComm(port, static_cast<DWORD>(inputQueue), static_cast<DWORD>(outputQueue));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return false;
  SerialApplySettings(dcb, baud, parity, dataBits, stopBits, handshake, inputQueue);
  if (!SetCommState(port, &dcb)) return false;
  COMMTIMEOUTS timeouts = SerialTimeouts();
  SetCommTimeouts(port, &timeouts);
  return true;
}

// Puts a configured port under `number`; a channel already there is closed
// first, under the table's lock.
std::int64_t Enter(std::int64_t number, UniqueFileHandle port) {
  HANDLE handle = port.get();
  std::optional<std::int64_t> entered =
      g_channels->Obtain(number, [&port](Channel& channel, std::int64_t) { channel.handle = std::move(port); });
  if (!entered) return 0;
  return number == ChannelTable::kAny ? *entered : static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(handle));
}

std::int64_t OpenChecked(std::int64_t number, const wchar_t* name, std::uint32_t baud, int parity, int dataBits,
                         float stopBits, std::int32_t handshake, std::int32_t inputQueue, std::int32_t outputQueue) {
  UniqueFileHandle port(CreateFileW(SerialDevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  if (!port) return 0;
  if (!Configure(port.get(), baud, parity, dataBits, stopBits, handshake, inputQueue, outputQueue)) return 0;
  return Enter(number, std::move(port));
}

bool PortStatus(std::int64_t number, COMSTAT& status) {
  HANDLE port = PortOf(number);
  DWORD errors = 0;
  return port && ClearCommError(port, &errors, &status);
}

bool IsTransferLength(std::int64_t length) { return length > 0 && length <= MAXDWORD; }

}  // namespace

void SerialStartup() {
  if (!g_channels) g_channels = new ChannelTable(16, 16, CloseChannel);
}

void SerialShutdown() {
  if (g_channels) g_channels->CloseAll();
}

std::int64_t SerialOpen(std::int64_t number, const wchar_t* name, std::uint32_t baud, int parity,
                        int dataBits, float stopBits, std::int32_t handshake,
                        std::int32_t inputQueue, std::int32_t outputQueue) {
  // A number the table will refuse must not cost the device a line change.
  if (!name || !g_channels || !g_channels->Accepts(number)) return 0;
  return OrOnNoMemory(std::int64_t{0}, [&] {
    return OpenChecked(number, name, baud, parity, dataBits, stopBits, handshake, inputQueue, outputQueue);
  });
}

void SerialClose(std::int64_t number) {
  if (!g_channels) return;
  if (number == ChannelTable::kAny)
    g_channels->CloseAll();
  else
    CloseChannel(number);
}

int SerialIsOpen(std::int64_t number) { return PortOf(number) ? 1 : 0; }

std::int64_t SerialInputPending(std::int64_t number) {
  COMSTAT status{};
  return PortStatus(number, status) ? static_cast<std::int32_t>(status.cbInQue) : 0;
}

std::int64_t SerialOutputPending(std::int64_t number) {
  COMSTAT status{};
  return PortStatus(number, status) ? static_cast<std::int32_t>(status.cbOutQue) : 0;
}

std::int64_t SerialRead(std::int64_t number, void* buffer, std::int64_t length) {
  if (!buffer || !IsTransferLength(length)) return 0;
  HANDLE port = PortOf(number);
  DWORD read = 0;
  if (!port || !ReadFile(port, buffer, static_cast<DWORD>(length), &read, nullptr)) return 0;
  return read;
}

std::int64_t SerialWrite(std::int64_t number, const void* buffer, std::int64_t length) {
  if (!buffer || !IsTransferLength(length)) return 0;
  HANDLE port = PortOf(number);
  DWORD written = 0;
  if (!port || !WriteFile(port, buffer, static_cast<DWORD>(length), &written, nullptr)) return 0;
  return written;
}

std::size_t SerialSlotCount() { return g_channels ? g_channels->SlotCount() : 0; }
