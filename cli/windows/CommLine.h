// fwupload's line on a Windows COM port, on a handle of its own: the line
// settings and time-outs are fwupload's (the window keeps the runtime's).
//
// Return rules (SerialLine's): Write gives the bytes the driver took within
// kWriteTimeout (0 when none); Read the bytes that came within kReadTimeout;
// the pending counts what ClearCommError reports. A negative value: a call
// failed with an error that means the port is gone or unusable (the adapter
// pulled, the handle invalid), and FailureReason gives the system's words.
// Any other failure of a call counts as nothing moved or nothing pending.
#pragma once

#include "cli/Platform.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

namespace fwu::cli {

class CommLine : public PortLine {
 public:
  // A write returns within this, having taken what the driver took by then:
  // a wedged adapter holds a run no longer, and a stop is seen in time.
  static constexpr std::chrono::milliseconds kWriteTimeout{40};
  static constexpr std::chrono::milliseconds kReadTimeout{500};

  // The port `path` ("\\.\COM3") opened for this program alone and set up
  // for the upload: kBaudRate 8N1, no flow control of any kind (no XON/XOFF,
  // no CTS or DSR flow, no DSR sensitivity), no abort on error, RTS off, DTR
  // as the port had it. None, with the system's error in `error`, when it
  // cannot be opened or set.
  static std::unique_ptr<CommLine> Open(const std::wstring& path, DWORD& error);
  // Throws away what was not sent, and closes the port.
  ~CommLine() override;

  std::int64_t Write(std::span<const std::uint8_t> bytes) override;
  std::int64_t OutputPending() override;
  std::int64_t InputPending() override;
  std::int64_t Read(std::span<std::uint8_t> into) override;
  void DiscardOutput() override;
  std::string FailureReason() const override { return failure_; }

 private:
  explicit CommLine(UniqueFileHandle port) : port_(std::move(port)) {}
  bool SetUp();
  // A failed call's result: -1 when GetLastError() says the line is gone
  // (noted for FailureReason), else 0.
  std::int64_t Failed();
  std::int64_t Pending(DWORD COMSTAT::*count);

  UniqueFileHandle port_;
  std::string failure_;
};

// Writes fwupload's line settings into a DCB the driver reported; DTR and
// the fields no setting names stay as they were.
void ApplyUploadSettings(DCB& dcb);

}  // namespace fwu::cli
