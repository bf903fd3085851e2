// Serial channels on real ports: Wine's COM names linked to virtual devices.
#include "runtime/serial/Serial.h"

#include "runtime/base/UniqueHandle.h"
#include "runtime/registry/ObjectRegistry.h"

#include "tests/support/VirtualDevice.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The probe's settings, and the upload's.
std::int64_t OpenLikeProbe(std::int64_t number, const std::wstring& port) {
  return SerialOpen(number, port.c_str(), 9600, NOPARITY, 8, 1.0f, kSerialNoHandshake, 16, 16);
}

std::int64_t OpenLikeUpload(std::int64_t number, const std::wstring& port) {
  return SerialOpen(number, port.c_str(), 57600, NOPARITY, 8, 1.0f, kSerialNoHandshake, 16, 524288);
}

std::int64_t OpenWithStopBits(std::int64_t number, const std::wstring& port, float stopBits) {
  return SerialOpen(number, port.c_str(), 9600, NOPARITY, 8, stopBits, kSerialNoHandshake, 16, 16);
}

// Where every service's identifiers start, whatever its records.
struct AnyRecord {
  int handle = 0;
};
constexpr std::int64_t kFirstIdentifier = ObjectRegistry<AnyRecord>::kFirstIdentifier;

HANDLE HandleOf(std::int64_t opened) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(opened)); }

DCB StateOf(HANDLE port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(GetCommState(port, &dcb));
  return dcb;
}

bool IsLiveHandle(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != 0;
}

DWORD HandleCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

// The value the next handle gets. Freed handle slots are handed out again
// first, so a handle leaked in between takes this value and the next probe
// gives another one.
HANDLE NextHandleValue() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(event);
  return event;
}

// Runs `work` on its own thread; false if it has not finished in time (the
// thread is then left behind, blocked).
template <class Work>
bool FinishesWithin(Work work, std::chrono::milliseconds timeout) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread([work, done] {
    work();
    *done = true;
  }).detach();
  return WaitUntil([&] { return done->load(); }, timeout);
}

class SerialChannel : public testing::Test {
 protected:
  void TearDown() override { SerialClose(-1); }
};

TEST_F(SerialChannel, StopBitsReachThePortAsTheirCodes) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(20));
  // A Linux line knows one or two stop bits: Wine turns ONE5STOPBITS into two
  // and reports TWOSTOPBITS back, so there only the line can tell 1.5 from 1.
  bool wine = RunningUnderWine();
  struct Case {
    float stopBits;
    BYTE code;
    const char* deviceSees;
  } cases[] = {{1.0f, ONESTOPBIT, "settings 9600 8 N 1"},
               {2.0f, TWOSTOPBITS, "settings 9600 8 N 2"},
               {1.0f, ONESTOPBIT, "settings 9600 8 N 1"},
               {1.5f, ONE5STOPBITS, "settings 9600 8 N 2"},
               {1.0f, ONESTOPBIT, "settings 9600 8 N 1"},
               {3.0f, ONE5STOPBITS, "settings 9600 8 N 2"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stopBits);
    std::int64_t opened = OpenWithStopBits(0, device.PortName(), c.stopBits);
    ASSERT_NE(opened, 0);
    BYTE reported = StateOf(HandleOf(opened)).StopBits;
    EXPECT_EQ(reported, wine && c.code == ONE5STOPBITS ? TWOSTOPBITS : c.code);
    EXPECT_TRUE(device.WaitForLastEvent("settings ", c.deviceSees)) << device.LastEvent("settings ");
    SerialClose(0);
  }
}

TEST_F(SerialChannel, HandshakeModesSetTheirFlowControlAndModeZeroKeepsXonXoff) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(21));
  std::wstring port = device.PortName();
  // A pty has no RTS line: Wine reports RTS_CONTROL_ENABLE whatever was set.
  bool rtsVisible = !RunningUnderWine();

  std::int64_t opened = SerialOpen(0, port.c_str(), 9600, NOPARITY, 8, 1.0f, kSerialRtsCts, 16, 16);
  ASSERT_NE(opened, 0);
  DCB dcb = StateOf(HandleOf(opened));
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  if (rtsVisible) {
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  }
  EXPECT_TRUE(device.WaitForEvent("flow rtscts 1 ixon 0 ixoff 0"));
  // Each open below finds the port as the one before left it; the port is
  // closed first, as a port held open cannot be opened again.
  SerialClose(0);

  opened = SerialOpen(0, port.c_str(), 9600, NOPARITY, 8, 1.0f, kSerialXonXoff, 16, 16);
  ASSERT_NE(opened, 0);
  dcb = StateOf(HandleOf(opened));
  EXPECT_EQ(dcb.fOutX, 1u);
  EXPECT_EQ(dcb.fInX, 1u);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u) << "mode 3 keeps the CTS flow the port had";
  EXPECT_TRUE(device.WaitForEvent("flow rtscts 1 ixon 1 ixoff 1"));
  SerialClose(0);

  opened = OpenLikeProbe(0, port);
  ASSERT_NE(opened, 0);
  dcb = StateOf(HandleOf(opened));
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  if (rtsVisible) {
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  }
  EXPECT_EQ(dcb.fOutX, 1u) << "mode 0 leaves XON/XOFF as the port had it";
  EXPECT_EQ(dcb.fInX, 1u);
  EXPECT_TRUE(device.WaitForEvent("flow rtscts 0 ixon 1 ixoff 1"));
}

TEST_F(SerialChannel, ReopeningANumberConfiguresTheNewPortBeforeClosingTheOld) {
  VirtualDevice first, second;
  ASSERT_TRUE(first.Start(23));
  ASSERT_TRUE(second.Start(24));
  std::int64_t old = OpenLikeProbe(0, first.PortName());
  ASSERT_NE(old, 0);

  std::int64_t now = OpenLikeUpload(0, second.PortName());
  ASSERT_NE(now, 0);
  EXPECT_NE(now, old);
  EXPECT_FALSE(IsLiveHandle(HandleOf(old))) << "the old port is closed";
  EXPECT_EQ(StateOf(HandleOf(now)).BaudRate, 57600u);
  EXPECT_TRUE(second.WaitForEvent("settings 57600 8 N 1"));

  // Channel 0 now writes to the second device.
  const char byte = 'x';
  EXPECT_EQ(SerialWrite(0, &byte, 1), 1);
  EXPECT_TRUE(second.WaitForLog(1));
  EXPECT_EQ(second.Log(), "x");
  EXPECT_EQ(first.Log(), "");
}

TEST_F(SerialChannel, AFailedOpenLeavesTheChannelUnderTheNumberAsItWas) {
  VirtualDevice device, vanishing;
  ASSERT_TRUE(device.Start(25));
  ASSERT_TRUE(vanishing.Start(26));
  ASSERT_NE(OpenLikeProbe(0, vanishing.PortName()), 0);
  SerialClose(0);
  ASSERT_TRUE(vanishing.Stop());

  std::int64_t held = OpenLikeUpload(0, device.PortName());
  ASSERT_NE(held, 0);
  std::wstring seventy(70, L'C');
  DWORD handles = HandleCount();  // Wine reports 0 here; the slot probe still sees leaks
  HANDLE nextHandle = NextHandleValue();
  EXPECT_EQ(SerialOpen(0, nullptr, 9600, NOPARITY, 8, 1.0f, 0, 16, 16), 0);
  EXPECT_EQ(OpenLikeProbe(0, L""), 0);
  EXPECT_EQ(OpenLikeProbe(0, seventy), 0);
  EXPECT_EQ(OpenLikeProbe(0, vanishing.PortName()), 0) << "the device behind it has gone";
  EXPECT_EQ(OpenLikeProbe(0, L"COM200"), 0);
  EXPECT_EQ(HandleCount(), handles) << "failed opens leave no handle behind";
  EXPECT_EQ(NextHandleValue(), nextHandle) << "failed opens leave no handle behind";

  EXPECT_EQ(SerialIsOpen(0), 1);
  EXPECT_TRUE(IsLiveHandle(HandleOf(held)));
  EXPECT_EQ(StateOf(HandleOf(held)).BaudRate, 57600u);
  const char byte = 'y';
  EXPECT_EQ(SerialWrite(0, &byte, 1), 1);
  EXPECT_TRUE(device.WaitForLog(1));
}

TEST_F(SerialChannel, LeakProbesSeeALeakedHandle) {
  // The leak checks above rely on these meaning something here.
  DWORD count = HandleCount();
  HANDLE next = NextHandleValue();
  HANDLE leaked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(NextHandleValue(), next);
  if (count != 0) {
    EXPECT_EQ(HandleCount(), count + 1);
  }
  CloseHandle(leaked);
  EXPECT_EQ(NextHandleValue(), next);
}

// The table lives as long as the process, so it may have grown in the tests
// before this one: the number asked for lies 24 beyond its end, wherever that is.
TEST_F(SerialChannel, OpeningANumberBeyondTheTableGrowsItToTheNumberPlus16WithOnlyThatOneOpen) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(28));
  auto number = static_cast<std::int64_t>(SerialSlotCount()) + 24;
  ASSERT_NE(OpenLikeProbe(number, device.PortName()), 0);
  EXPECT_EQ(SerialSlotCount(), static_cast<std::size_t>(number + 16));
  for (std::int64_t n = 0; n < number + 16; ++n) EXPECT_EQ(SerialIsOpen(n), n == number ? 1 : 0) << n;
  SerialClose(number);
}

TEST_F(SerialChannel, TheAnyNumberGivesAnIdentifierThatDiesWithItsChannel) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(29));
  std::int64_t id = OpenLikeProbe(-1, device.PortName());
  ASSERT_NE(id, 0);
  EXPECT_GE(id, kFirstIdentifier) << "never a slot number";
  EXPECT_EQ(SerialIsOpen(id), 1);
  const char byte = 'z';
  EXPECT_EQ(SerialWrite(id, &byte, 1), 1);
  EXPECT_TRUE(device.WaitForLog(1));
  SerialClose(id);
  EXPECT_EQ(SerialIsOpen(id), 0);
  EXPECT_EQ(SerialWrite(id, &byte, 1), 0);
}

TEST_F(SerialChannel, CloseAllClosesNumberedAndAnyNumberChannels) {
  VirtualDevice a, b;
  ASSERT_TRUE(a.Start(30));
  ASSERT_TRUE(b.Start(31));
  std::int64_t numbered = OpenLikeProbe(3, a.PortName());
  std::int64_t id = OpenLikeProbe(-1, b.PortName());
  ASSERT_NE(numbered, 0);
  ASSERT_NE(id, 0);
  SerialClose(-1);
  EXPECT_EQ(SerialIsOpen(3), 0);
  EXPECT_EQ(SerialIsOpen(id), 0);
  EXPECT_FALSE(IsLiveHandle(HandleOf(numbered)));

  // The freed handle value goes to the next handle made; closing all again
  // must not reach it through a stale record.
  HANDLE unrelated = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SerialClose(-1);
  EXPECT_TRUE(IsLiveHandle(unrelated));
  EXPECT_EQ(SerialIsOpen(3), 0);
  CloseHandle(unrelated);
}

// A number the table refuses fails before the port is opened: the line keeps
// the settings it had (a pty keeps them between opens, as a port's driver
// does), where an open that went ahead would have left 9600 baud on it.
TEST_F(SerialChannel, ARefusedNumberLeavesThePortUntouched) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(35));
  std::int64_t gone = OpenLikeProbe(-1, device.PortName());
  ASSERT_NE(gone, 0);
  SerialClose(gone);
  ASSERT_NE(OpenLikeUpload(0, device.PortName()), 0);
  SerialClose(0);

  for (std::int64_t refused : {std::int64_t{-2}, std::int64_t{1} << 20, gone, gone + 1000}) {
    SCOPED_TRACE(refused);
    EXPECT_EQ(OpenLikeProbe(refused, device.PortName()), 0);
  }
  UniqueFileHandle port(CreateFileW(SerialDevicePath(device.PortName().c_str()).c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(port);
  EXPECT_EQ(StateOf(port.get()).BaudRate, 57600u);
}

TEST_F(SerialChannel, EveryOperationOnAClosedChannelGivesZero) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(32));
  ASSERT_NE(OpenLikeProbe(5, device.PortName()), 0);
  SerialClose(5);
  char buffer[4] = {};
  for (std::int64_t n : {std::int64_t{0}, std::int64_t{5}, std::int64_t{15}, std::int64_t{1000}, std::int64_t{-2},
                         std::int64_t{1} << 32}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(SerialIsOpen(n), 0);
    EXPECT_EQ(SerialInputPending(n), 0);
    EXPECT_EQ(SerialOutputPending(n), 0);
    EXPECT_EQ(SerialRead(n, buffer, 1), 0);
    EXPECT_EQ(SerialWrite(n, "a", 1), 0);
    SerialClose(n);
  }
  EXPECT_EQ(device.Log(), "") << "nothing reached the line";
}

TEST_F(SerialChannel, ReadsAndWritesOfNothingReturnAtOnce) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(33));
  ASSERT_NE(OpenLikeUpload(0, device.PortName()), 0);
  char buffer[4] = {};
  std::int64_t read = -1;
  EXPECT_TRUE(FinishesWithin([&read, &buffer] { read = SerialRead(0, buffer, 0); }, 5s));
  EXPECT_EQ(read, 0);
  EXPECT_EQ(SerialWrite(0, buffer, 0), 0);
  // Lengths that do not fit a driver call are refused, not cut to 32 bits.
  EXPECT_EQ(SerialRead(0, buffer, -1), 0);
  EXPECT_EQ(SerialRead(0, buffer, std::int64_t{1} << 32), 0);
  EXPECT_EQ(SerialWrite(0, buffer, std::int64_t{1} << 32), 0);
  EXPECT_EQ(SerialWrite(0, nullptr, 1), 0);
  EXPECT_EQ(device.Log(), "");
}

TEST_F(SerialChannel, PendingCountsFollowTheLineBothWays) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(34, {L"--body-length", L"0"}));
  ASSERT_NE(OpenLikeUpload(0, device.PortName()), 0);
  ASSERT_TRUE(device.WaitForEvent("settings 57600 8 N 1"));
  const char header[17] = "0123456789abcdef";
  EXPECT_EQ(SerialWrite(0, header, 16), 16);
  EXPECT_TRUE(WaitUntil([] { return SerialOutputPending(0) == 0; }));
  ASSERT_TRUE(WaitUntil([] { return SerialInputPending(0) == 2; }));
  char reply[2] = {};
  EXPECT_EQ(SerialRead(0, reply, 2), 2);
  EXPECT_EQ(std::string(reply, 2), "OK");
  // The second answer waited until the first had been read.
  ASSERT_TRUE(WaitUntil([] { return SerialInputPending(0) == 2; }));
  EXPECT_EQ(SerialRead(0, reply, 2), 2);
  EXPECT_EQ(std::string(reply, 2), "OK");
  EXPECT_EQ(SerialInputPending(0), 0);
  EXPECT_EQ(device.Log(), std::string(header, 16));
}

}  // namespace
