// The upload worker. It owns file 0, serial channel 0 and the two exchange
// buffers for the length of its run (the input controls are disabled, and
// the gate lets no second run start); it writes the progress value, which the
// refresher reads.
//
// When the program closes during a run, the worker stops at its next step
// without a report, so that shut-down never closes the file or the port
// under it (UploadGate).
#include "app/UploadRun.h"

#include "app/InputControls.h"
#include "bridge/RuntimeLine.h"
#include "app/UpdaterState.h"
#include "app/UploadFinish.h"
#include "app/UploadGate.h"
#include "protocol/UploadEngine.h"
#include "runtime/control/Control.h"
#include "runtime/file/File.h"
#include "runtime/serial/Serial.h"
#include "runtime/thread/Thread.h"

#include <string>

namespace {

constexpr std::int64_t kChannel = 0;
constexpr std::int64_t kFile = 0;

// Firmware file 0. Its size comes from the open file itself, so the body's
// length always belongs to the bytes that are sent, even when a build has
// renamed a new file over the path since the run opened it.
class FirmwareFile : public fwu::FirmwareSource {
 public:
  std::uint8_t NextByte() override { return static_cast<std::uint8_t>(FileReadByte(kFile)); }
  std::int64_t Size() override { return FileOpenSize(kFile); }
};

class WindowObserver : public fwu::RunObserver {
 public:
  void Progress(std::int64_t percent, std::int64_t /*bodyBytes*/) override { g_updater.progress = percent; }
  bool StopRequested() override { return UploadCancelled(); }
};

// Opens the file and the port the controls name, each read once, here, and
// runs the engine on them; no value when the program is closing.
std::optional<fwu::Outcome> OpenAndRun() {
  std::wstring path = ControlGetText(g_updater.firmwarePathField);
  if (!FileOpenRead(kFile, path.c_str())) return fwu::Outcome::kFirmwareMissing;
  std::wstring port = ControlGetText(g_updater.portList);
  if (!SerialOpen(kChannel, port.c_str(), fwu::kBaudRate, NOPARITY, fwu::kDataBits, 1.0f, kSerialNoHandshake,
                  fwu::kInputQueueBytes, fwu::kOutputQueueBytes))
    return fwu::Outcome::kPortUnavailable;
  RuntimeSerialLine line(kChannel);
  FirmwareFile firmware;
  RuntimeClock clock;
  WindowObserver observer;
  return fwu::UploadRun(line, firmware, clock, observer, g_updater.buffers).Run();
}

std::int64_t UploadWorker(std::int64_t /*eventType*/) {
  TextAreaEnter();
  g_updater.progress = 0;
  InputControlsDisable(1);
  std::optional<fwu::Outcome> outcome = OpenAndRun();
  // A run the closing program stopped reports nothing; shut-down closes the
  // file and the port once the worker has left the gate.
  if (!outcome || UploadCancelled())
    UploadGateLeave();
  else
    UploadFinish(*outcome);
  return 0;
}

}  // namespace

void UploadStart(std::int64_t eventType) {
  if (!UploadGateEnter()) return;
  if (!ThreadStart(UploadWorker, eventType)) UploadGateLeave();
}
