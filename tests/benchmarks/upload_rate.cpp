// Upload rate: a 64 KiB firmware file sent by the real fwupdater.exe to the
// virtual device, once as fast as the line takes it and once with the device
// reading at 57600 baud, next to a minimal loop that makes the same writes
// and polls straight on the platform, with nothing else, and to the line rate. The device times the body from its first byte to its last.
#include "tests/support/TestFolder.h"
#include "tests/support/UpdaterDriver.h"
#include "tests/support/VirtualDevice.h"

#include "protocol/Protocol.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kFileBytes = 64 * 1024;
using fwu::kHeaderBytes;
constexpr std::size_t kBodyBytes = kFileBytes - kHeaderBytes;
constexpr int kPort = 7;
constexpr int kRuns = 7;
constexpr double kLineRate = fwu::kBaudRate / 10.0;  // start, 8 data and stop bit per byte
constexpr double kGoalOfMinimalLoop = 0.95;
constexpr double kGoalOfLineRate = 0.90;
constexpr auto kUploadTimeout = 120s;

std::string FirmwareBytes() {
  std::string bytes(kFileBytes, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  return bytes;
}

std::vector<std::wstring> DeviceOptions(bool paced) {
  std::vector<std::wstring> options{L"--body-length", std::to_wstring(kBodyBytes)};
  // Unpaced, the device reads in batches, so that its own cost per read does
  // not set the rate that is measured.
  if (paced)
    options.insert(options.end(), {L"--pace-baud", L"57600"});
  else
    options.insert(options.end(), {L"--read-interval-ms", L"1"});
  return options;
}

// Body bytes per second from the device's "body-time <bytes> <us>"; nothing
// when the upload did not complete.
std::optional<double> BodyRate(const VirtualDevice& device) {
  if (!device.WaitForEvent("done " + std::to_string(kFileBytes), 10s)) return std::nullopt;
  std::string timed = device.LastEvent("body-time ");
  char* rest = nullptr;
  long bytes = std::strtol(timed.c_str() + 10, &rest, 10);
  double microseconds = std::strtod(rest, nullptr);
  if (bytes != static_cast<long>(kBodyBytes) || microseconds <= 0) return std::nullopt;
  return static_cast<double>(bytes - 1) * 1e6 / microseconds;
}

// ---- the updater, driven as a user drives it

// Waits for the device to have served the whole file, looking only every
// 100 ms: a watcher that polls the windows or the device's files every
// millisecond takes processor time from the upload it measures.
bool AwaitServed(const VirtualDevice& device) {
  const std::string done = "done " + std::to_string(kFileBytes);
  for (auto waited = 0ms; waited < kUploadTimeout; waited += 100ms) {
    if (device.HasEvent(done)) return true;
    Sleep(100);
  }
  return device.HasEvent(done);
}

bool UploadWithTheUpdater(const VirtualDevice& device, const TestFolder& folder) {
  UpdaterDriver updater(folder.Path());
  if (!updater.Started() || !updater.SelectPort(device.PortName())) return false;
  updater.PressUpdate();
  bool served = AwaitServed(device);
  std::optional<DialogSeen> box = updater.WaitMessageBox(10s);
  bool succeeded = served && box && box->title == L"Information";
  if (box) updater.Dismiss(*box);
  updater.Close(10s);
  return succeeded;
}

// ---- the minimal loop: the same writes and polls, nothing else

DWORD Pending(HANDLE port, bool output) {
  COMSTAT status{};
  DWORD errors = 0;
  if (!ClearCommError(port, &errors, &status)) return 0;
  return output ? status.cbOutQue : status.cbInQue;
}

bool ReadReply(HANDLE port) {
  for (int polls = 0; Pending(port, false) != fwu::kReplyBytes; ++polls) {
    if (polls == fwu::kReplyPolls) return false;
    Sleep(1);
  }
  char reply[2] = {};
  DWORD read = 0;
  return ReadFile(port, reply, 2, &read, nullptr) && read == 2 &&
         fwu::IsAcknowledgement(std::span(reinterpret_cast<const std::uint8_t*>(reply), 2));
}

// A write that times out on a backed-up line takes less; the rest is offered
// again, as the updater does.
bool WriteAndWaitSent(HANDLE port, const char* bytes, DWORD count) {
  while (count > 0) {
    DWORD written = 0;
    if (!WriteFile(port, bytes, count, &written, nullptr)) return false;
    bytes += written;
    count -= written;
    if (count > 0) Sleep(1);
  }
  while (Pending(port, true) != 0) {
  }
  return true;
}

bool MinimalLoopUpload(const std::wstring& portName, const std::string& firmware) {
  std::wstring path = L"\\\\.\\" + portName;
  UniqueFileHandle port(
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!port) return false;
  DCB line{};
  line.DCBlength = sizeof line;
  SetupComm(port.get(), fwu::kInputQueueBytes, fwu::kOutputQueueBytes);
  if (!GetCommState(port.get(), &line)) return false;
  line.BaudRate = fwu::kBaudRate;
  line.ByteSize = fwu::kDataBits;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  line.fBinary = TRUE;
  line.fOutxCtsFlow = FALSE;
  line.fRtsControl = RTS_CONTROL_DISABLE;
  if (!SetCommState(port.get(), &line)) return false;
  COMMTIMEOUTS timeouts{0, 0, 0, 100, 10};
  SetCommTimeouts(port.get(), &timeouts);

  if (!WriteAndWaitSent(port.get(), firmware.data(), kHeaderBytes) || !ReadReply(port.get())) return false;
  for (std::size_t i = kHeaderBytes; i < firmware.size(); ++i)
    if (!WriteAndWaitSent(port.get(), &firmware[i], 1)) return false;
  return ReadReply(port.get());
}

// The loop runs in a process of its own, started afresh for every run as the
// updater is; run again inside one process its rate was seen to swing by a
// factor of two from one run to the next.
constexpr wchar_t kMinimalLoopSwitch[] = L"--minimal-loop";

bool UploadWithTheMinimalLoop(const VirtualDevice& device) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  ChildProcess loop = ChildProcess::Start(self, {kMinimalLoopSwitch, device.PortName()});
  if (!loop.WaitExit(kUploadTimeout)) {
    loop.Terminate();
    return false;
  }
  return loop.ExitCode() == 0;
}

// ---- runs and figures

// The body rate of one upload on a fresh device; nothing when it failed.
template <class Upload>
std::optional<double> OneRun(bool paced, Upload upload) {
  VirtualDevice device;
  if (!device.Start(kPort, DeviceOptions(paced))) return std::nullopt;
  bool uploaded = upload(device);
  std::optional<double> rate = BodyRate(device);
  if (uploaded && rate) return rate;
  std::vector<std::string> events = device.Events();
  std::printf("  (a run failed; the device's last event: %s)\n", events.empty() ? "none" : events.back().c_str());
  return std::nullopt;
}

// The runs of one program, their median printed after `label`.
class Series {
 public:
  explicit Series(const char* label) : label_(label) {}
  void Add(std::optional<double> rate) {
    if (rate)
      rates_.push_back(*rate);
    else
      failed_ = true;
  }
  std::optional<double> Median() const {
    if (failed_ || rates_.empty()) return std::nullopt;
    std::vector<double> sorted = rates_;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
  void Print() const {
    std::printf("  %-34s %8.0f B/s  (runs:", label_, Median().value_or(0));
    for (double rate : rates_) std::printf(" %.0f", rate);
    std::printf(")\n");
  }

 private:
  const char* label_;
  std::vector<double> rates_;
  bool failed_ = false;
};

// Prints one ratio; false when a figure is missing or misses its goal.
bool Report(const char* what, std::optional<double> rate, std::optional<double> reference, double goal) {
  if (!rate || !reference) {
    std::printf("  %-34s   no figure: an upload failed\n", what);
    return false;
  }
  double ratio = *rate / *reference;
  std::printf("  %-34s %6.1f %%  %s\n", what, 100.0 * ratio, ratio >= goal ? "ok" : "BELOW GOAL");
  return ratio >= goal;
}

}  // namespace

int main() {
  std::string firmware = FirmwareBytes();
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count == 3 && std::wstring(arguments[1]) == kMinimalLoopSwitch)
    return MinimalLoopUpload(arguments[2], firmware) ? 0 : 1;

  TestFolder folder(L"upload-rate");
  folder.Write(L"trx.fw", firmware);
  auto updater = [&](const VirtualDevice& device) { return UploadWithTheUpdater(device, folder); };
  auto minimal = [](const VirtualDevice& device) { return UploadWithTheMinimalLoop(device); };

  std::printf("upload_rate: body of a %zu-byte file, median of %d runs each, taken in turns (goals: >= %.0f %%\n"
              "  of the minimal loop, >= %.0f %% of the line rate of %.0f B/s when paced)\n",
              kFileBytes, kRuns, 100 * kGoalOfMinimalLoop, 100 * kGoalOfLineRate, kLineRate);
  bool met = true;
  for (bool paced : {false, true}) {
    Series ours("updater"), loop("minimal loop");
    // In turns, the order swapped every turn, so that neither program always
    // runs right after the other.
    for (int run = 0; run < kRuns; ++run) {
      if (run % 2 == 0) ours.Add(OneRun(paced, updater));
      loop.Add(OneRun(paced, minimal));
      if (run % 2 == 1) ours.Add(OneRun(paced, updater));
    }
    std::printf(paced ? "device paced at 57600 baud:\n" : "device unpaced:\n");
    ours.Print();
    loop.Print();
    met &= Report("updater / minimal loop", ours.Median(), loop.Median(), kGoalOfMinimalLoop);
    if (paced) met &= Report("updater / line rate", ours.Median(), kLineRate, kGoalOfLineRate);
  }
  return met ? 0 : 1;
}
