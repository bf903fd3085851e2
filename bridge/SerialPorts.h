// The serial ports a program of the product offers: COM1 to COM99 that open,
// tried as the window's port probe tries them. Shared by the window and the
// Windows console uploader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Serial port names are this prefix followed by kFirstPort to kLastPort.
inline constexpr std::wstring_view kPortNamePrefix = L"COM";
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 99;

// "COM" followed by `number` in decimal.
std::wstring PortName(int number);

// Opens serial channel `number` (-1 for a new one) on `name` as the probe
// does, at 9600 8N1 with queues of 16 bytes: SerialOpen's result. The caller
// closes it.
std::int64_t SerialOpenForProbe(std::int64_t number, const wchar_t* name);
