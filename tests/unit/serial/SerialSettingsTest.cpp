#include "runtime/serial/Serial.h"

#include "runtime/base/ScopeExit.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {

// A DCB as a driver might report it, every field set to something an open
// must not invent, so that a field written by mistake shows.
DCB ReportedDcb() {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 1200;
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fDsrSensitivity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutX = 1;
  dcb.fInX = 0;
  dcb.fErrorChar = 1;
  dcb.fNull = 1;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.fAbortOnError = 1;
  dcb.XonLim = 1234;
  dcb.XoffLim = 4321;
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.XonChar = 'a';
  dcb.XoffChar = 'b';
  dcb.ErrorChar = 'c';
  dcb.EofChar = 'd';
  dcb.EvtChar = 'e';
  return dcb;
}

// What an open must leave of the reported DCB: everything but the line
// settings and the fields the handshake mode names.
void ExpectSameExceptSettingsAndMode(const DCB& before, const DCB& after) {
  EXPECT_EQ(after.DCBlength, before.DCBlength);
  EXPECT_EQ(after.fBinary, before.fBinary);
  EXPECT_EQ(after.fOutxDsrFlow, before.fOutxDsrFlow);
  EXPECT_EQ(after.fDtrControl, before.fDtrControl);
  EXPECT_EQ(after.fDsrSensitivity, before.fDsrSensitivity);
  EXPECT_EQ(after.fTXContinueOnXoff, before.fTXContinueOnXoff);
  EXPECT_EQ(after.fErrorChar, before.fErrorChar);
  EXPECT_EQ(after.fNull, before.fNull);
  EXPECT_EQ(after.fAbortOnError, before.fAbortOnError);
  EXPECT_EQ(after.ErrorChar, before.ErrorChar);
  EXPECT_EQ(after.EofChar, before.EofChar);
  EXPECT_EQ(after.EvtChar, before.EvtChar);
}

struct FlowFields {
  DWORD ctsFlow, rtsControl, outX, inX;
  char xon, xoff;
  WORD xonLimit, xoffLimit;
};

FlowFields FlowOf(const DCB& dcb) {
  return {dcb.fOutxCtsFlow, dcb.fRtsControl, dcb.fOutX, dcb.fInX, dcb.XonChar, dcb.XoffChar, dcb.XonLim, dcb.XoffLim};
}

void ExpectFlow(const DCB& dcb, const FlowFields& want) {
  FlowFields got = FlowOf(dcb);
  EXPECT_EQ(got.ctsFlow, want.ctsFlow);
  EXPECT_EQ(got.rtsControl, want.rtsControl);
  EXPECT_EQ(got.outX, want.outX);
  EXPECT_EQ(got.inX, want.inX);
  EXPECT_EQ(got.xon, want.xon);
  EXPECT_EQ(got.xoff, want.xoff);
  EXPECT_EQ(got.xonLimit, want.xonLimit);
  EXPECT_EQ(got.xoffLimit, want.xoffLimit);
}

TEST(SerialDevicePath, PrefixesTheNameAndCutsItAfter59CodeUnits) {
  EXPECT_EQ(SerialDevicePath(L"COM12"), L"\\\\.\\COM12");
  EXPECT_EQ(SerialDevicePath(L""), L"\\\\.\\");
  EXPECT_EQ(SerialDevicePath(nullptr), L"");

  std::wstring seventy;
  for (int i = 0; i < 70; ++i) seventy += static_cast<wchar_t>(L'A' + i % 26);
  std::wstring path = SerialDevicePath(seventy.c_str());
  EXPECT_EQ(path, L"\\\\.\\" + seventy.substr(0, 59));
  EXPECT_EQ(path.size(), 63u) << "with its NUL the path fits 64 code units";

  std::wstring fiftyNine(59, L'x');
  EXPECT_EQ(SerialDevicePath(fiftyNine.c_str()), L"\\\\.\\" + fiftyNine);
  // Code units, not characters: a surrogate pair at the cut is split.
  std::wstring pairAtCut = std::wstring(58, L'x') + L"\xD83D\xDE00";
  EXPECT_EQ(SerialDevicePath(pairAtCut.c_str()), L"\\\\.\\" + std::wstring(58, L'x') + L"\xD83D");
}

TEST(SerialDevicePath, ReadsNoFurtherThanTheCut) {
  // 59 code units at the very end of a page, the next page inaccessible: a
  // look past the cut for a terminator faults.
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  std::size_t page = system.dwPageSize;
  auto* pages = static_cast<std::byte*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  auto release = scope_exit([&] { VirtualFree(pages, 0, MEM_RELEASE); });
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
  auto* name = reinterpret_cast<wchar_t*>(pages + page) - kSerialNameLimit;
  for (std::size_t i = 0; i < kSerialNameLimit; ++i) name[i] = L'z';
  EXPECT_EQ(SerialDevicePath(name), L"\\\\.\\" + std::wstring(59, L'z'));
}

TEST(SerialStopBits, OnlyExactlyOneAndTwoAreThemselves) {
  EXPECT_EQ(SerialStopBitsCode(1.0f), ONESTOPBIT);
  EXPECT_EQ(SerialStopBitsCode(1.5f), ONE5STOPBITS);
  EXPECT_EQ(SerialStopBitsCode(2.0f), TWOSTOPBITS);
  EXPECT_EQ(SerialStopBitsCode(3.0f), ONE5STOPBITS);
  EXPECT_EQ(SerialStopBitsCode(0.0f), ONE5STOPBITS);
  EXPECT_EQ(SerialStopBitsCode(1.0000001f), ONE5STOPBITS);
  EXPECT_EQ(SerialStopBitsCode(-1.0f), ONE5STOPBITS);
}

TEST(SerialXonXoff, LimitsAreATenthOfTheInputQueueAndSevenTimesThat) {
  auto limits = SerialXonXoffLimitsFor(16);
  EXPECT_EQ(limits.xonLimit, 1);
  EXPECT_EQ(limits.xoffLimit, 7);
  limits = SerialXonXoffLimitsFor(100);
  EXPECT_EQ(limits.xonLimit, 10);
  EXPECT_EQ(limits.xoffLimit, 70);
  limits = SerialXonXoffLimitsFor(9);
  EXPECT_EQ(limits.xonLimit, 0);
  EXPECT_EQ(limits.xoffLimit, 0);
  // Upload output-queue size as an input queue: both cut to 16 bits.
  limits = SerialXonXoffLimitsFor(524288);
  EXPECT_EQ(limits.xonLimit, static_cast<WORD>(52428));
  EXPECT_EQ(limits.xoffLimit, static_cast<WORD>(52428 * 7));
  limits = SerialXonXoffLimitsFor(-25);  // truncated toward zero
  EXPECT_EQ(limits.xonLimit, static_cast<WORD>(-2));
  EXPECT_EQ(limits.xoffLimit, static_cast<WORD>(-14));
}

TEST(SerialApplySettings, WritesTheLineSettingsAndParityCheckingInEveryMode) {
  for (std::int32_t mode : {0, 1, 2, 3, 7, -1}) {
    SCOPED_TRACE(mode);
    DCB before = ReportedDcb();
    DCB dcb = before;
    SerialApplySettings(dcb, 57600, NOPARITY, 8, 1.0f, mode, 16);
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.fParity, 1u) << "parity checking is on even without parity";
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    ExpectSameExceptSettingsAndMode(before, dcb);
  }
  DCB dcb = ReportedDcb();
  SerialApplySettings(dcb, 300, SPACEPARITY, 0x107, 1.5f, 0, 16);
  EXPECT_EQ(dcb.Parity, SPACEPARITY);
  EXPECT_EQ(dcb.ByteSize, 7) << "the low byte of the data bits";
  EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
}

TEST(SerialApplySettings, EachHandshakeModeChangesOnlyItsOwnFields) {
  const DCB reported = ReportedDcb();
  FlowFields kept = FlowOf(reported);
  struct Case {
    std::int32_t mode;
    std::int32_t inputQueue;
    FlowFields want;
  } cases[] = {
      {0, 16, {0, RTS_CONTROL_DISABLE, kept.outX, kept.inX, kept.xon, kept.xoff, kept.xonLimit, kept.xoffLimit}},
      {1, 16, {0, RTS_CONTROL_ENABLE, kept.outX, kept.inX, kept.xon, kept.xoff, kept.xonLimit, kept.xoffLimit}},
      {2, 16, {1, RTS_CONTROL_HANDSHAKE, kept.outX, kept.inX, kept.xon, kept.xoff, kept.xonLimit, kept.xoffLimit}},
      {3, 16, {kept.ctsFlow, kept.rtsControl, 1, 1, 0x11, 0x13, 1, 7}},
      {3, 100, {kept.ctsFlow, kept.rtsControl, 1, 1, 0x11, 0x13, 10, 70}},
      {4, 16, kept},
      {-1, 16, kept},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + ", input queue " + std::to_string(c.inputQueue));
    DCB dcb = reported;
    SerialApplySettings(dcb, 9600, NOPARITY, 8, 1.0f, c.mode, c.inputQueue);
    ExpectFlow(dcb, c.want);
    ExpectSameExceptSettingsAndMode(reported, dcb);
  }
}

TEST(SerialTimeouts, ReadsWaitForeverAndWritesGetTimePerByte) {
  COMMTIMEOUTS t = SerialTimeouts();
  EXPECT_EQ(t.ReadIntervalTimeout, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 10u);
}

}  // namespace
