// fwupload.exe, the Windows console uploader, run as a script runs it against
// the virtual device: its exit status tells the outcome. Its Windows side's
// port names and open failures are checked in-process.
#include "cli/Platform.h"
#include "cli/windows/PortDevices.h"
#include "cli/windows/SerialComm.h"
#include "cli/windows/Wide.h"
#include "runtime/base/ScopeExit.h"
#include "runtime/base/UniqueHandle.h"

#include "tests/support/Process.h"
#include "tests/support/TestFolder.h"
#include "tests/support/VirtualDevice.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 5;
constexpr int kWrongAnswerPort = 6;
constexpr int kNoDevicePort = 9;
constexpr int kFirstSparePort = 10;  // and the few after it
constexpr int kFlowControlPort = 14;
constexpr int kHangUpPort = 15;
constexpr int kCtrlCPort = 20;
constexpr int kRecordPort = 15;
constexpr int kWatchPort = 21;  // one of the COM2? names the station watches
constexpr int kHungLinePort = 17;  // the hanging line's, in CMakeLists.txt
// Not one of the bench's names, so no such port exists.
constexpr const char* kMissingPort = "COM250";

// An end that is due at once, after Ctrl+C say (how soon it comes is a
// benchmark's figure).
constexpr auto kPromptly = 10s;

// fwupload's exit status, or nothing when it did not end within a minute.
std::optional<DWORD> RunFwupload(const std::vector<std::wstring>& arguments, const StartOptions& options = {}) {
  ChildProcess fwupload = ChildProcess::Start(WindowsPathOf(FWU_FWUPLOAD_EXE), arguments, nullptr, options);
  if (!fwupload) return std::nullopt;
  if (!fwupload.WaitExit(60s)) {
    fwupload.Terminate();
    return std::nullopt;
  }
  return fwupload.ExitCode();
}

// fwupload's exit status and what it wrote to standard output (a file in
// `folder`).
std::pair<std::optional<DWORD>, std::string> RunFwuploadFor(const TestFolder& folder,
                                                             const std::vector<std::wstring>& arguments) {
  std::wstring path = folder.Write(L"run.out", "");
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  UniqueFileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  StartOptions start;
  start.giveStandardHandles = true;
  start.output = out.get();
  start.error = out.get();
  std::optional<DWORD> status = RunFwupload(arguments, start);
  out.reset();
  return {status, ReadWholeFile(path)};
}

std::string Firmware(std::size_t size) {
  std::string firmware(size, '\0');
  for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<char>(i * 31 + 5);
  return firmware;
}

std::wstring BodyLengthOf(const std::string& firmware) { return std::to_wstring(firmware.size() - 16); }

// A new file at `path` that a child can take as its standard output and error.
UniqueFileHandle InheritableOutput(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

StartOptions OutputTo(const UniqueFileHandle& file) {
  StartOptions start;
  start.giveStandardHandles = true;
  start.output = file.get();
  start.error = file.get();
  return start;
}

TEST(ConsoleUpload, ExitsZeroWhenTheDeviceHasTheFileAndWithTheOutcomeOtherwise) {
  TestFolder folder(L"fwupload-e2e");
  std::string firmware = Firmware(3000);
  std::wstring file = folder.Write(L"trx.fw", firmware);

  VirtualDevice device;
  ASSERT_TRUE(device.Start(kPort, {L"--body-length", BodyLengthOf(firmware)}));
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", device.PortName(), file}), 0u);
  EXPECT_EQ(device.Log(), firmware);

  VirtualDevice wrong;
  ASSERT_TRUE(wrong.Start(kWrongAnswerPort, {L"--first-answer", L"4E4F"}));
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", wrong.PortName(), file}), 4u);
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", L"COM" + std::to_wstring(kNoDevicePort), file}), 2u);
}

// How programs get started in the field: a file name outside the ANSI code
// page, standard output closed or a handle value that names nothing (which a
// port opened later could come to bear), a port in the device namespace. The
// device gets exactly the file each time.
TEST(ConsoleUpload, UploadsExactlyHoweverItIsStartedAndNamed) {
  TestFolder folder(L"fwupload-e2e-names");
  std::string firmware = Firmware(2000);
  std::wstring plain = folder.Write(L"trx.fw", firmware);
  std::wstring unicode = folder.Write(L"\u043f\u0440\u043e\u0448\u0438\u0432\u043a\u0430-\u00fc-\u6d4b.fw", firmware);
  StartOptions closed;
  closed.giveStandardHandles = true;
  StartOptions madeUp = closed;
  madeUp.output = reinterpret_cast<HANDLE>(0x1ffc);
  madeUp.error = reinterpret_cast<HANDLE>(0x1ff8);
  struct Case {
    const char* what;
    std::wstring file;
    StartOptions start;
    bool inDeviceNamespace;
  };
  const Case cases[] = {{"non-ASCII file name", unicode, {}, false},
                        {"no standard handles", plain, closed, false},
                        {"standard handles that name nothing", plain, madeUp, false},
                        {"port as \\\\.\\COMn", plain, {}, true}};
  int port = kFirstSparePort;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VirtualDevice device;
    ASSERT_TRUE(device.Start(port++, {L"--body-length", BodyLengthOf(firmware)}));
    std::wstring name = (c.inDeviceNamespace ? L"\\\\.\\" : L"") + device.PortName();
    EXPECT_EQ(RunFwupload({L"--port", name, c.file}, c.start), 0u);
    EXPECT_EQ(device.Log(), firmware);
  }
}

// Flow control another program left on the port (XON/XOFF, DSR flow):
// fwupload sets the line itself, and the device gets exactly the file, every
// byte value (XON and XOFF among them), at either pace.
TEST(ConsoleUpload, APortLeftWithFlowControlGetsExactlyTheFileAtEitherPace) {
  TestFolder folder(L"fwupload-e2e-flow");
  std::string firmware = Firmware(3000);
  std::wstring file = folder.Write(L"trx.fw", firmware);
  VirtualDevice device;
  ASSERT_TRUE(device.Start(kFlowControlPort, {L"--body-length", BodyLengthOf(firmware)}));
  std::wstring path = L"\\\\.\\" + device.PortName();
  // The port's DCB as it was, after `change` when one is given.
  auto dcbOfPort = [&](void (*change)(DCB&)) {
    UniqueFileHandle port(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(port && GetCommState(port.get(), &dcb)) << GetLastError();
    DCB found = dcb;
    if (change) {
      change(dcb);
      EXPECT_TRUE(SetCommState(port.get(), &dcb)) << GetLastError();
    }
    return found;
  };
  for (const wchar_t* pace : {L"stream", L"byte"}) {
    dcbOfPort([](DCB& dcb) { dcb.fInX = dcb.fOutX = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = TRUE; });
    std::size_t before = device.Log().size();
    EXPECT_EQ(RunFwupload({L"--quiet", L"--pace", pace, L"--port", device.PortName(), file}), 0u) << pace;
    EXPECT_EQ(device.Log().substr(before), firmware) << pace;
    DCB left = dcbOfPort(nullptr);
    EXPECT_FALSE(left.fInX || left.fOutX) << pace << ": flow control left on";
  }
}

// The device hangs up mid-body: outcome 3 at once, not after the 5 s stall
// limit (which would end the whole run past 6 s), at either pace.
TEST(ConsoleUpload, ADeviceGoneMidBodyEndsTheRunWithOutcomeThreeAtOnce) {
  TestFolder folder(L"fwupload-e2e-gone");
  std::string firmware = Firmware(20000);
  std::wstring file = folder.Write(L"trx.fw", firmware);
  for (const wchar_t* pace : {L"stream", L"byte"}) {
    VirtualDevice device;
    ASSERT_TRUE(device.Start(kHangUpPort, {L"--body-length", BodyLengthOf(firmware), L"--hang-up-after", L"1000"}));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunFwupload({L"--quiet", L"--pace", pace, L"--port", device.PortName(), file}), 3u) << pace;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << pace << ": the stall limit, not the failure, ended it";
  }
}

// Ctrl+C on fwupload's console, from this process, which ignores it itself.
// False when the console could not be reached.
bool PressCtrlC(const ChildProcess& process) {
  FreeConsole();
  if (!AttachConsole(process.Id())) return false;
  SetConsoleCtrlHandler(nullptr, TRUE);
  bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, process.Id());
  FreeConsole();
  return sent;
}

// The close event of fwupload's console (its window closed), delivered as the
// system delivers every console control event: on a new thread of the
// process, started at the system's dispatcher (kernelbase lies at one address
// in every process). Wine sends no close event when a console is closed: it
// ends the processes at once (doc/testing.md).
bool CloseConsole(const ChildProcess& process) {
  auto dispatcher = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (!dispatcher) return false;
  UniqueKernelHandle thread(CreateRemoteThread(process.Handle(), nullptr, 0, dispatcher,
                                               reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_CLOSE_EVENT)), 0,
                                               nullptr));
  return static_cast<bool>(thread);
}

// The session's end (a logoff, a shutdown) as Wine's own: every top-level
// window is asked and told. Wine would end the processes of a console it
// closes, so the run under test has none.
bool EndSession(const ChildProcess&) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  ChildProcess wineboot = ChildProcess::Start(std::wstring(system) + L"\\wineboot.exe", {L"--end-session"});
  return wineboot.WaitExit(kPromptly);
}

// fwupload in a process group of its own, where Ctrl+C arrives switched off,
// as a script's runner or a service starts it; in a console of its own, or
// with none (`console` DETACHED_PROCESS), as a scheduled task starts it.
ChildProcess StartInGroupOfItsOwn(const std::vector<std::wstring>& arguments, DWORD console = CREATE_NEW_CONSOLE) {
  StartOptions start;
  start.creationFlags = console | CREATE_NEW_PROCESS_GROUP;
  return ChildProcess::Start(WindowsPathOf(FWU_FWUPLOAD_EXE), arguments, nullptr, start);
}

// Ctrl+C stops a run started in a process group of its own, and so do
// closing its console and the session's end.
TEST(ConsoleUpload, CtrlCAClosedConsoleOrTheSessionsEndStopsARun) {
  TestFolder folder(L"fwupload-e2e-ctrl-c");
  std::string firmware = Firmware(60000);
  std::wstring file = folder.Write(L"trx.fw", firmware);
  struct Stop {
    const char* what;
    bool (*send)(const ChildProcess&);
    DWORD console;
  };
  for (const Stop& stop : {Stop{"Ctrl+C", PressCtrlC, CREATE_NEW_CONSOLE},
                           Stop{"console closed", CloseConsole, CREATE_NEW_CONSOLE},
                           Stop{"session ended", EndSession, DETACHED_PROCESS}}) {
    SCOPED_TRACE(stop.what);
    VirtualDevice device;
    ASSERT_TRUE(device.Start(kCtrlCPort, {L"--body-length", BodyLengthOf(firmware), L"--pace-baud", L"57600"}));
    ChildProcess fwupload = StartInGroupOfItsOwn({L"--port", device.PortName(), file}, stop.console);
    ASSERT_TRUE(fwupload);
    ASSERT_TRUE(device.WaitForLog(100));

    EXPECT_TRUE(stop.send(fwupload));
    EXPECT_TRUE(fwupload.WaitExit(kPromptly));
    EXPECT_EQ(fwupload.ExitCode(), 130u);
    fwupload.Terminate();
    EXPECT_LT(device.Log().size(), firmware.size());
  }
}

// A driver call that never returns after Ctrl+C (some USB serial drivers hang
// in a write or a status call once the adapter is pulled): fwupload still
// ends, with 130, at either pace. The line is the hanging line preloaded
// into Wine (tools/hanging-line; the test's ctest entry sets it on this port):
// after FWU_HANG_AFTER bytes every call on the port blocks for good.
TEST(ConsoleUpload, CtrlCEndsARunWhoseDriverCallNeverReturns) {
  wchar_t after[32] = {};
  if (!GetEnvironmentVariableW(L"FWU_HANG_AFTER", after, 32))
    GTEST_SKIP() << "run through ctest, which preloads the hanging line";
  std::size_t hangAfter = std::stoul(after);
  TestFolder folder(L"fwupload-e2e-hung");
  std::string firmware = Firmware(20000);
  ASSERT_LT(hangAfter, firmware.size());
  std::wstring file = folder.Write(L"trx.fw", firmware);
  for (const wchar_t* pace : {L"stream", L"byte"}) {
    SCOPED_TRACE(fwu::cli::Narrowed(pace));
    VirtualDevice device;
    ASSERT_TRUE(device.Start(kHungLinePort, {L"--body-length", BodyLengthOf(firmware)}));
    ChildProcess fwupload = StartInGroupOfItsOwn({L"--pace", pace, L"--port", device.PortName(), file});
    ASSERT_TRUE(fwupload);
    // The line has hung once the device has all the bytes it will get.
    ASSERT_TRUE(device.WaitForLog(hangAfter));

    EXPECT_TRUE(PressCtrlC(fwupload));
    EXPECT_TRUE(fwupload.WaitExit(kPromptly));
    EXPECT_EQ(fwupload.ExitCode(), 130u);
    fwupload.Terminate();
    EXPECT_EQ(device.Log().size(), hangAfter);
  }
}

// Wine lists every name of the bench under SERIALCOMM from its start. The
// test takes the port's entries out, as Windows has none while no adapter is
// plugged in, and puts one back as a serial driver does when one is: the
// station updates the port that appeared, and leaves alone those that were
// there at its start.
TEST(ConsoleUpload, WatchUpdatesAPortThatAppearsInSerialComm) {
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, fwu::cli::kSerialCommKey, 0, KEY_SET_VALUE, &opened), ERROR_SUCCESS);
  UniqueRegistryKey key(opened);
  std::wstring port = L"COM" + std::to_wstring(kWatchPort);
  auto setEntry = [&](const std::wstring& device) {
    RegSetValueExW(key.get(), device.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
  };
  std::vector<std::wstring> entries;
  for (const fwu::cli::SerialCommEntry& entry : fwu::cli::SerialCommEntries())
    if (entry.port == port) entries.push_back(entry.device);
  std::wstring entry = L"\\Device\\FwuploadTest";
  for (const std::wstring& old : entries) RegDeleteValueW(key.get(), old.c_str());
  // The bench's entries come back however the test ends.
  auto restore = scope_exit([&] {
    RegDeleteValueW(key.get(), entry.c_str());
    for (const std::wstring& old : entries) setEntry(old);
  });

  TestFolder folder(L"fwupload-e2e-watch");
  std::string firmware = Firmware(2000);
  std::wstring file = folder.Write(L"trx.fw", firmware);
  std::wstring outPath = folder.Path() + L"\\station.out";
  VirtualDevice device;
  ASSERT_TRUE(device.Start(kWatchPort, {L"--body-length", BodyLengthOf(firmware)}));
  UniqueFileHandle out = InheritableOutput(outPath);
  ChildProcess station =
      ChildProcess::Start(WindowsPathOf(FWU_FWUPLOAD_EXE),
                          {L"--watch", L"--no-record", L"--count", L"1", L"--port", L"COM2?", file}, nullptr, OutputTo(out));
  out.reset();
  ASSERT_TRUE(station);
  // Its first look is done once it has told of the ports there at its start.
  EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(outPath).find("present at start") != std::string::npos; }));
  setEntry(entry);
  bool ended = station.WaitExit(30s);
  if (!ended) station.Terminate();
  ASSERT_TRUE(ended) << ReadWholeFile(outPath);
  EXPECT_EQ(station.ExitCode(), 0u) << ReadWholeFile(outPath);
  EXPECT_EQ(device.Log(), firmware);
  EXPECT_NE(ReadWholeFile(outPath).find("COM21: Device update!  (1 updated, 0 failed)"), std::string::npos) << ReadWholeFile(outPath);
}

// The run clock's real pause on the high-resolution waitable timer: about
// the time asked for, in the unit asked for (loose bounds: Wine's timer wakes
// about a millisecond late; a pause read in the wrong unit takes a thousand
// times as long, or nothing).
TEST(ConsoleClock, APauseBetweenPollsLastsAboutTheTimeAskedFor) {
  auto clock = fwu::cli::MakeRunClock();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) clock->PauseBetweenPolls(std::chrono::microseconds(300));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 3ms);
  EXPECT_LT(took, 1s);
}

// A run recorded into the default file of a user whose local application data
// folder has a name outside the ANSI code page, and --history reading it back
// from there: the run's port, outcome, file and SHA-256 (sha256sum's).
TEST(ConsoleUpload, RecordsARunAndReadsItBackWithHistory) {
  TestFolder appData(L"\u0434\u0430\u043d\u043d\u044b\u0435-\u00fc-\u6d4b");
  std::string firmware = Firmware(2000);
  std::wstring file = appData.Write(L"trx.fw", firmware);
  std::wstring folder = appData.Path() + L"\\fwupload";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  wchar_t previous[MAX_PATH] = {};
  bool hadPrevious = GetEnvironmentVariableW(L"LOCALAPPDATA", previous, MAX_PATH) != 0;
  SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
  auto restore = scope_exit([&] { SetEnvironmentVariableW(L"LOCALAPPDATA", hadPrevious ? previous : nullptr); });

  VirtualDevice device;
  ASSERT_TRUE(device.Start(kRecordPort, {L"--body-length", BodyLengthOf(firmware)}));
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", device.PortName(), L"--record", folder + L"\\records.sqlite", file}), 0u);
  EXPECT_EQ(device.Log(), firmware);

  std::wstring outPath = appData.Path() + L"\\history.out";
  UniqueFileHandle out = InheritableOutput(outPath);
  EXPECT_EQ(RunFwupload({L"--history", L"--json"}, OutputTo(out)), 0u);
  out.reset();
  std::string output = ReadWholeFile(outPath);
  nlohmann::json run = nlohmann::json::parse(output, nullptr, false);
  ASSERT_TRUE(run.is_object()) << output;
  EXPECT_EQ(run.value("port", ""), "COM" + std::to_string(kRecordPort));
  EXPECT_EQ(run.value("outcome", -1), 0);
  EXPECT_EQ(run.value("file_size", 0), 2000);
  EXPECT_EQ(run.value("file_sha256", ""), "6f05d13e43ac298fa9b6453f4e3cad84fbf77ec34d0809676389cee35b556919");
  std::string expectedPath = fwu::cli::Narrowed(file);
  EXPECT_EQ(run.value("file_path", ""), expectedPath);
}

// The lines of `text`, which ends them as a Windows console program does.
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST(ConsolePorts, ListAndListJsonNameTheSamePortsWithOneThatHasADevice) {
  TestFolder folder(L"fwupload-e2e-list");
  VirtualDevice device;
  ASSERT_TRUE(device.Start(kPort));
  auto [plainStatus, plain] = RunFwuploadFor(folder, {L"--list"});
  auto [jsonStatus, json] = RunFwuploadFor(folder, {L"--list", L"--json"});
  EXPECT_EQ(plainStatus, 0u);
  EXPECT_EQ(jsonStatus, 0u);
  std::vector<std::string> names, jsonNames;
  for (const std::string& line : LinesOf(plain)) names.push_back(line.substr(0, line.find("  ")));
  for (const std::string& line : LinesOf(json)) jsonNames.push_back(nlohmann::json::parse(line)["port"]);
  EXPECT_EQ(jsonNames, names) << json;
  EXPECT_NE(std::find(names.begin(), names.end(), "COM" + std::to_string(kPort)), names.end()) << plain;
}

TEST(ConsolePorts, NamesOfOnePortShareAnIdentity) {
  using fwu::cli::PortIdentity;
  EXPECT_EQ(PortIdentity("\\\\.\\COM12"), PortIdentity("com12"));
  EXPECT_EQ(PortIdentity("Com12"), PortIdentity("COM12"));
  EXPECT_NE(PortIdentity("COM12"), PortIdentity("COM1"));
}

// What the instance ids of USB adapters tell: the device itself (CP210x,
// CH340, a CDC ACM board), an FTDI port's parent, a composite device's
// interface, and a serial number the system made up.
TEST(ConsolePorts, UsbInstanceIdsGiveIdsAndRealSerialNumbers) {
  using fwu::cli::UsbIdentityOf;
  auto ftdi = UsbIdentityOf(L"USB\\VID_0403&PID_6001\\A7F3B2C4");
  ASSERT_TRUE(ftdi);
  EXPECT_EQ(ftdi->usbId, "0403:6001");
  EXPECT_EQ(ftdi->serial, "A7F3B2C4");
  auto ch340 = UsbIdentityOf(L"USB\\VID_1A86&PID_7523\\5&2A4D5C1E&0&3");
  ASSERT_TRUE(ch340);
  EXPECT_EQ(ch340->usbId, "1a86:7523");
  EXPECT_EQ(ch340->serial, "");
  EXPECT_FALSE(UsbIdentityOf(L"USB\\VID_2E8A&PID_000A&MI_00\\6&1B2C3D4E&0&0000"));
  EXPECT_FALSE(UsbIdentityOf(L"FTDIBUS\\VID_0403+PID_6001+A7F3B2C4A\\0000"));
  EXPECT_FALSE(UsbIdentityOf(L"USB\\ROOT_HUB30\\4&2F1A3B&0&0"));
}

TEST(ConsolePlatform, Sha256IsTheStandardDigestInLowerCaseHex) {
  auto digest = [](std::string_view text) {
    return fwu::cli::Sha256Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  };
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// A failed open says why in the system's words. Under Wine every name of the
// bench opens as a device even with nothing behind it, and is then no serial
// port; a name outside the bench does not exist. A port held by another
// program cannot be shown: Wine lets a second open of a port through.
TEST(ConsolePorts, AFailedOpenSaysWhy) {
  fwu::cli::LineOpening missing = fwu::cli::OpenLine(kMissingPort);
  EXPECT_FALSE(missing.line);
  EXPECT_TRUE(missing.reason.starts_with("no such port (")) << missing.reason;
  EXPECT_NE(missing.reason.find("fwupload --list"), std::string::npos) << missing.reason;

  fwu::cli::LineOpening empty = fwu::cli::OpenLine("COM" + std::to_string(kNoDevicePort));
  EXPECT_FALSE(empty.line);
  if (RunningUnderWine()) {
    EXPECT_TRUE(empty.reason.starts_with("not a serial port (")) << empty.reason;
  }
}

}  // namespace
