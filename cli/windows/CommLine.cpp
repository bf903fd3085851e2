#include "cli/windows/CommLine.h"

#include "cli/windows/SystemMessage.h"

#include <algorithm>

namespace fwu::cli {
namespace {

// Older headers do not name it.
constexpr DWORD kNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE

// What a driver call fails with once the port has gone or cannot be used:
// an adapter pulled mid-run, a driver that has given up on the device. Wine
// gives ERROR_NOT_READY once the pty behind the port has hung up.
bool MeansLineGone(DWORD error) {
  switch (error) {
    case ERROR_NOT_READY:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case kNoSuchDevice:
    case ERROR_INVALID_HANDLE:
      return true;
    default:
      return false;
  }
}

DWORD Milliseconds(std::chrono::milliseconds duration) { return static_cast<DWORD>(duration.count()); }

}  // namespace

void ApplyUploadSettings(DCB& dcb) {
  dcb.BaudRate = kBaudRate;
  dcb.ByteSize = kDataBits;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
}

std::unique_ptr<CommLine> CommLine::Open(const std::wstring& path, DWORD& error) {
  UniqueFileHandle port(
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  std::unique_ptr<CommLine> line;
  if (port) {
    line.reset(new CommLine(std::move(port)));
    if (line->SetUp()) return line;
  }
  error = GetLastError();
  return nullptr;
}

bool CommLine::SetUp() {
  SetupComm(port_.get(), static_cast<DWORD>(kInputQueueBytes), static_cast<DWORD>(kOutputQueueBytes));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port_.get(), &dcb)) return false;
  ApplyUploadSettings(dcb);
  if (!SetCommState(port_.get(), &dcb)) return false;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadTotalTimeoutConstant = Milliseconds(kReadTimeout);
  timeouts.WriteTotalTimeoutConstant = Milliseconds(kWriteTimeout);
  return SetCommTimeouts(port_.get(), &timeouts);
}

CommLine::~CommLine() { PurgeComm(port_.get(), PURGE_TXABORT | PURGE_TXCLEAR); }

std::int64_t CommLine::Failed() {
  DWORD error = GetLastError();
  if (!MeansLineGone(error)) return 0;
  if (failure_.empty()) failure_ = "the line failed: " + SystemMessage(error);
  return -1;
}

// A write that timed out reports what the driver took (some drivers fail it
// with a time-out error, others succeed with fewer bytes).
std::int64_t CommLine::Write(std::span<const std::uint8_t> bytes) {
  DWORD written = 0;
  DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
  if (!WriteFile(port_.get(), bytes.data(), size, &written, nullptr) && written == 0) return Failed();
  return written;
}

std::int64_t CommLine::Pending(DWORD COMSTAT::*count) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port_.get(), &errors, &status)) return Failed();
  return status.*count;
}

std::int64_t CommLine::OutputPending() { return Pending(&COMSTAT::cbOutQue); }

std::int64_t CommLine::InputPending() { return Pending(&COMSTAT::cbInQue); }

std::int64_t CommLine::Read(std::span<std::uint8_t> into) {
  DWORD read = 0;
  DWORD size = static_cast<DWORD>(std::min<std::size_t>(into.size(), MAXDWORD));
  if (!ReadFile(port_.get(), into.data(), size, &read, nullptr) && read == 0) return Failed();
  return read;
}

void CommLine::DiscardOutput() { PurgeComm(port_.get(), PURGE_TXABORT | PURGE_TXCLEAR); }

}  // namespace fwu::cli
