// Serial channels: numbered serial ports opened by name with line settings,
// driver queue sizes and fixed time-outs; synchronous raw reads and writes;
// the driver's pending input and output counts.
//
// Return rules: SerialOpen gives 0 when the port could not be opened and
// configured; otherwise the port's handle for a chosen number, or the new
// channel's identifier for -1 (that identifier is then its number). Every
// other operation on a number that names no open channel does nothing or
// gives 0, as does a query whose driver call fails. SerialRead and SerialWrite
// give the bytes moved, 0 when the driver call fails or the length is outside
// 0..0xFFFFFFFF. A number SerialOpen would not take (below -1, at or beyond
// the slot limit, an identifier that names no open channel) gives 0 before the
// port is touched. Nothing here shows messages, keeps error codes or throws:
// when memory runs out an open gives 0.
//
// Threads: the channel table is guarded by its own re-entrant lock and its
// records are reached only under it; driver calls run outside it. A read or
// write copies the port's handle out under the lock and waits on the device
// without it, so the rule that keeps that copy valid is this one: a channel is
// used by one thread at a time, and closing it (SerialClose of its number or
// of -1, SerialShutdown) is a use. A close that races a read or write on
// another thread can close the handle under the driver call, and the handle's
// value can then be handed to another object.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Handshake modes of SerialOpen.
inline constexpr std::int32_t kSerialNoHandshake = 0;
inline constexpr std::int32_t kSerialRtsRaised = 1;
inline constexpr std::int32_t kSerialRtsCts = 2;
inline constexpr std::int32_t kSerialXonXoff = 3;

// --- Channels ----------------------------------------------------------------
void SerialStartup();
// Closes every open channel, as SerialClose(-1).
void SerialShutdown();
// Opens `name` exclusively, gives it the line settings and time-outs, and only
// then enters it under `number`; a channel already there is closed after the
// new port is configured and stays as it was when the open fails. Parity is a
// Win32 parity code (0 none .. 4 space); the queue sizes reach SetupComm only
// when both are above 0; `inputQueue` also sets the XON/XOFF limits.
std::int64_t SerialOpen(std::int64_t number, const wchar_t* name, std::uint32_t baud, int parity,
                        int dataBits, float stopBits, std::int32_t handshake,
                        std::int32_t inputQueue, std::int32_t outputQueue);
// Closes the channel; -1 closes all, numbered ones in ascending order, then
// those opened with -1, newest first. Queues are neither purged nor flushed.
void SerialClose(std::int64_t number);
int SerialIsOpen(std::int64_t number);
// Bytes received and not yet read (cbInQue); clears the port's error state.
std::int64_t SerialInputPending(std::int64_t number);
// Bytes written and not yet sent (cbOutQue); clears the port's error state.
std::int64_t SerialOutputPending(std::int64_t number);
// Blocks until `length` bytes have arrived: ask for no more than
// SerialInputPending reported. `buffer` holds `length` bytes.
std::int64_t SerialRead(std::int64_t number, void* buffer, std::int64_t length);
// Returns once the driver has taken the bytes or 100 ms per byte + 10 ms have
// passed.
std::int64_t SerialWrite(std::int64_t number, const void* buffer, std::int64_t length);
// Slots of the numbered table now (16 at start, growing by 16).
std::size_t SerialSlotCount();

// --- Pure parts of an open -----------------------------------------------------
// Port names longer than this are cut.
inline constexpr std::size_t kSerialNameLimit = 59;
// `\\.\` and the first 59 code units of `name`; empty for a null name.
std::wstring SerialDevicePath(const wchar_t* name);
// Exactly 1.0 gives ONESTOPBIT, exactly 2.0 TWOSTOPBITS, anything else
// ONE5STOPBITS.
BYTE SerialStopBitsCode(float stopBits);
struct SerialXonXoffLimits {
  WORD xonLimit;
  WORD xoffLimit;
};
// A tenth of the input queue (truncated) and seven times that, both 16-bit.
SerialXonXoffLimits SerialXonXoffLimitsFor(std::int32_t inputQueue);
// Writes the line settings and the handshake mode's fields into a DCB the
// driver reported, leaving every other field as it was.
void SerialApplySettings(DCB& dcb, std::uint32_t baud, int parity, int dataBits, float stopBits,
                         std::int32_t handshake, std::int32_t inputQueue);
// Reads never time out; a write of n bytes gets 100 ms per byte + 10 ms.
COMMTIMEOUTS SerialTimeouts();
