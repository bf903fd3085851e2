// The virtual device as the updater meets it: each behaviour seen through a
// real serial channel on a Wine COM port.
#include "runtime/serial/Serial.h"

#include "tests/support/VirtualDevice.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kHeader = "HEADER-0123456789";  // the first 16 bytes are sent

std::string HeaderHex() {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (int i = 0; i < 16; ++i) {
    auto byte = static_cast<unsigned char>(kHeader[i]);
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return hex;
}

// Every byte value, the line-control ones included.
std::string AllByteValues(std::size_t length) {
  std::string body;
  for (std::size_t i = 0; i < length; ++i) body += static_cast<char>(i & 0xFF);
  return body;
}

// The updater's side of an upload on channel 0.
class Upload {
 public:
  explicit Upload(const std::wstring& port)
      : opened_(SerialOpen(0, port.c_str(), 57600, 0, 8, 1.0f, kSerialNoHandshake, 16, 524288) != 0) {}
  ~Upload() { SerialClose(0); }

  bool Opened() const { return opened_; }
  void SendHeader() {
    EXPECT_EQ(SerialWrite(0, kHeader.data(), 16), 16);
    EXPECT_TRUE(WaitUntil([] { return SerialOutputPending(0) == 0; }));
  }
  // One byte a write, each sent before the next, as the upload run does.
  // Stops at the first write the line refuses; gives the bytes taken.
  std::size_t SendBody(const std::string& body) {
    for (std::size_t i = 0; i < body.size(); ++i) {
      if (SerialWrite(0, &body[i], 1) != 1) return i;
      if (!WaitUntil([] { return SerialOutputPending(0) == 0; }, 5s)) return i;
    }
    return body.size();
  }
  // The two reply bytes once exactly two are pending; empty on time-out.
  static std::string Reply(std::chrono::milliseconds timeout = 5s) {
    if (!WaitUntil([] { return SerialInputPending(0) == 2; }, timeout)) return {};
    char reply[2] = {};
    return SerialRead(0, reply, 2) == 2 ? std::string(reply, 2) : std::string();
  }
  static std::string Drain() {
    std::string drained(static_cast<std::size_t>(SerialInputPending(0)), '\0');
    if (!drained.empty()) SerialRead(0, drained.data(), static_cast<std::int64_t>(drained.size()));
    return drained;
  }

 private:
  bool opened_;
};

TEST(VirtualDevice, AnswersHeaderAndBodyAndLogsExactlyTheBytesSent) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(40, {L"--body-length", L"600"}));
  std::string body = AllByteValues(600);
  {
    Upload upload(device.PortName());
    ASSERT_TRUE(upload.Opened());
    upload.SendHeader();
    EXPECT_EQ(Upload::Reply(), "OK");
    EXPECT_EQ(upload.SendBody(body), body.size());
    EXPECT_EQ(Upload::Reply(), "OK");
  }
  ASSERT_TRUE(device.WaitForEvent("done 616"));
  EXPECT_EQ(device.Log(), kHeader.substr(0, 16) + body);
  EXPECT_TRUE(device.HasEvent("settings 57600 8 N 1"));
  EXPECT_TRUE(device.HasEvent("header " + HeaderHex()));
  EXPECT_TRUE(device.HasEvent("answer first 4F4B"));
  EXPECT_TRUE(device.HasEvent("body-end 600"));
  std::string timed = device.LastEvent("body-time ");
  ASSERT_EQ(timed.rfind("body-time 600 ", 0), 0u) << timed;
  EXPECT_GT(std::atol(timed.c_str() + 14), 0) << "the body took some time from first to last byte";
  EXPECT_TRUE(device.HasEvent("answer second 4F4B"));
}

TEST(VirtualDevice, WithoutABodyLengthTheBodyEndsAfterAQuietGap) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(41, {L"--gap-ms", L"200"}));
  Upload upload(device.PortName());
  ASSERT_TRUE(upload.Opened());
  upload.SendHeader();
  ASSERT_EQ(Upload::Reply(), "OK");
  upload.SendBody(std::string(50, 'b'));
  EXPECT_EQ(Upload::Reply(), "OK");
  EXPECT_TRUE(device.HasEvent("body-end 50"));
  EXPECT_TRUE(device.HasEvent("done 66"));
}

TEST(VirtualDevice, AHeaderOnlyUploadGetsItsSecondAnswerOnlyOnceTheFirstIsRead) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(42, {L"--gap-ms", L"50"}));
  Upload upload(device.PortName());
  ASSERT_TRUE(upload.Opened());
  upload.SendHeader();
  // The body is over (nothing came within the gap) while the first answer
  // is still unread: the second must wait, or four bytes would be pending.
  ASSERT_TRUE(device.WaitForEvent("body-end 0"));
  EXPECT_EQ(SerialInputPending(0), 2);
  EXPECT_FALSE(device.HasEvent("answer second 4F4B"));
  EXPECT_EQ(Upload::Reply(), "OK");
  EXPECT_EQ(Upload::Reply(), "OK");
  EXPECT_TRUE(device.HasEvent("done 16"));
}

TEST(VirtualDevice, WrongAnswersAreSentAsConfigured) {
  struct Case {
    int port;
    std::vector<std::wstring> options;
    std::string first, second;
  } cases[] = {{43, {L"--first-answer", L"4F4C", L"--body-length", L"3"}, "OL", "OK"},
               {44, {L"--second-answer", L"4E4F", L"--body-length", L"3"}, "OK", "NO"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    VirtualDevice device;
    ASSERT_TRUE(device.Start(c.port, c.options));
    Upload upload(device.PortName());
    ASSERT_TRUE(upload.Opened());
    upload.SendHeader();
    EXPECT_EQ(Upload::Reply(), c.first);
    upload.SendBody("abc");
    EXPECT_EQ(Upload::Reply(), c.second);
  }
}

TEST(VirtualDevice, AnswersOfOtherLengthsLeaveThatManyBytesPending) {
  struct Case {
    int port;
    const wchar_t* answer;
    const char* event;
    std::int64_t pending;
  } cases[] = {{45, L"", "answer first -", 0}, {46, L"4F", "answer first 4F", 1}, {47, L"4F4B4B", "answer first 4F4B4B", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    VirtualDevice device;
    ASSERT_TRUE(device.Start(c.port, {L"--first-answer", c.answer, L"--gap-ms", L"50"}));
    Upload upload(device.PortName());
    ASSERT_TRUE(upload.Opened());
    upload.SendHeader();
    ASSERT_TRUE(device.WaitForEvent(c.event));
    ASSERT_TRUE(WaitUntil([&] { return SerialInputPending(0) == c.pending; }));
    // Nothing more comes while the program waits: no second answer on top.
    if (c.pending != 0) {
      ASSERT_TRUE(device.WaitForEvent("body-end 0"));
    }
    EXPECT_EQ(SerialInputPending(0), c.pending);
    EXPECT_FALSE(device.HasEvent("answer second 4F4B"));
  }
}

TEST(VirtualDevice, ALateAnswerComesNoSoonerThanTheDelay) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(48, {L"--answer-delay-ms", L"400", L"--body-length", L"1"}));
  Upload upload(device.PortName());
  ASSERT_TRUE(upload.Opened());
  auto sent = Clock::now();
  upload.SendHeader();
  EXPECT_EQ(Upload::Reply(2s), "OK");
  auto waited = Clock::now() - sent;
  EXPECT_GE(waited, 400ms);
  std::printf("first answer after %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));
  sent = Clock::now();
  upload.SendBody("x");
  EXPECT_EQ(Upload::Reply(2s), "OK");
  EXPECT_GE(Clock::now() - sent, 400ms);
}

TEST(VirtualDevice, StaleBytesWaitInTheLineUntilTheProgramDrainsThem) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(49, {L"--stale", L"5A5A5A", L"--body-length", L"0"}));
  EXPECT_TRUE(device.HasEvent("stale 5A5A5A"));
  Upload upload(device.PortName());
  ASSERT_TRUE(upload.Opened());
  ASSERT_TRUE(WaitUntil([] { return SerialInputPending(0) == 3; }));
  EXPECT_EQ(Upload::Drain(), "ZZZ");
  upload.SendHeader();
  EXPECT_EQ(Upload::Reply(), "OK");
  EXPECT_EQ(Upload::Reply(), "OK");
}

TEST(VirtualDevice, PacedReadsTakeAtLeastTheLineTime) {
  constexpr long kBaud = 9600;
  constexpr std::size_t kBytes = 480;  // 0.5 s at 960 bytes a second
  VirtualDevice device;
  ASSERT_TRUE(device.Start(50, {L"--pace-baud", std::to_wstring(kBaud), L"--body-length", std::to_wstring(kBytes)}));
  Upload upload(device.PortName());
  ASSERT_TRUE(upload.Opened());
  upload.SendHeader();
  ASSERT_EQ(Upload::Reply(), "OK");
  // The pty takes the bytes at once (its output count stays 0), so the line
  // time shows in when the device has read them all and answers.
  auto start = Clock::now();
  EXPECT_EQ(upload.SendBody(std::string(kBytes, 'p')), kBytes);
  EXPECT_EQ(Upload::Reply(), "OK");
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  double lineSeconds = kBytes * 10.0 / kBaud;
  std::printf("%zu bytes paced at %ld baud: answered after %.3f s (line time %.3f s, %.0f bytes/s)\n", kBytes, kBaud,
              seconds, lineSeconds, kBytes / seconds);
  EXPECT_GE(seconds, lineSeconds);
}

TEST(VirtualDevice, HangingUpAfterNBodyBytesCutsTheLine) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(51, {L"--hang-up-after", L"10", L"--body-length", L"100"}));
  Upload upload(device.PortName());
  ASSERT_TRUE(upload.Opened());
  upload.SendHeader();
  ASSERT_EQ(Upload::Reply(), "OK");
  std::string body = AllByteValues(100);
  std::size_t taken = upload.SendBody(body);
  ASSERT_TRUE(device.WaitForEvent("hangup 10"));
  EXPECT_GE(taken, 10u);
  EXPECT_LT(taken, body.size());
  EXPECT_EQ(device.Log(), kHeader.substr(0, 16) + body.substr(0, 10));
  // The channel is still open on a dead line: counts come back as 0, never
  // as a stale figure.
  EXPECT_EQ(SerialIsOpen(0), 1);
  EXPECT_EQ(SerialOutputPending(0), 0);
  EXPECT_EQ(SerialInputPending(0), 0);
  EXPECT_TRUE(device.WaitForEvent("exit"));
}

TEST(VirtualDevice, ReportsSettingsAndIgnoresWhatIsSentAtOtherSettings) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(52, {L"--body-length", L"0"}));
  std::wstring port = device.PortName();
  // The probe's open and close at 9600 is not a session, and neither is a
  // header sent at the wrong speed.
  ASSERT_NE(SerialOpen(0, port.c_str(), 9600, 0, 8, 1.0f, 0, 16, 16), 0);
  EXPECT_TRUE(device.WaitForLastEvent("settings ", "settings 9600 8 N 1"));
  EXPECT_EQ(SerialWrite(0, kHeader.data(), 16), 16);
  EXPECT_TRUE(device.WaitForEvent("ignored 16 9600 8 N 1"));
  SerialClose(0);
  // A Linux pty keeps itself 8-bit clean (CS8, no parity) whatever is asked;
  // speed and stop bits show.
  ASSERT_NE(SerialOpen(0, port.c_str(), 57600, EVENPARITY, 7, 2.0f, 0, 16, 16), 0);
  EXPECT_TRUE(device.WaitForLastEvent("settings ", "settings 57600 8 N 2"));
  SerialClose(0);
  EXPECT_EQ(SerialInputPending(0), 0);

  Upload upload(port);
  ASSERT_TRUE(upload.Opened());
  EXPECT_TRUE(device.WaitForLastEvent("settings ", "settings 57600 8 N 1"));
  EXPECT_EQ(Upload::Drain(), "") << "nothing was answered to the ignored bytes";
  upload.SendHeader();
  EXPECT_EQ(Upload::Reply(), "OK");
  EXPECT_EQ(Upload::Reply(), "OK");
  EXPECT_TRUE(device.HasEvent("header " + HeaderHex()));
}

TEST(VirtualDevice, ServesTheGivenNumberOfUploadsThenEnds) {
  VirtualDevice device;
  ASSERT_TRUE(device.Start(53, {L"--sessions", L"2", L"--body-length", L"2"}));
  for (int session = 1; session <= 2; ++session) {
    SCOPED_TRACE(session);
    Upload upload(device.PortName());
    ASSERT_TRUE(upload.Opened());
    upload.SendHeader();
    EXPECT_EQ(Upload::Reply(), "OK");
    upload.SendBody("ab");
    EXPECT_EQ(Upload::Reply(), "OK");
  }
  EXPECT_TRUE(device.WaitForEvent("exit"));
  EXPECT_EQ(SerialOpen(0, device.PortName().c_str(), 9600, 0, 8, 1.0f, 0, 16, 16), 0) << "its port has gone";
}

TEST(VirtualDevice, MapsAComPortOfAWinePrefix) {
  const char* ports = std::getenv("FWU_PORTS");
  ASSERT_NE(ports, nullptr);
  std::wstring prefix;
  for (char c : std::string(ports) + "/../../wineprefix") prefix += static_cast<wchar_t>(c);
  VirtualDevice device;
  // The bench has mapped the prefix already, so this only links COM55.
  ASSERT_TRUE(device.Start(54, {L"--wine-prefix", prefix, L"--com", L"COM55"}));
  EXPECT_TRUE(std::regex_match(device.LastEvent("ready "), std::regex("ready COM55 /dev/pts/[0-9]+")))
      << device.LastEvent("ready ");
  EXPECT_NE(SerialOpen(0, L"COM55", 9600, 0, 8, 1.0f, 0, 16, 16), 0);
  SerialClose(0);
  ASSERT_TRUE(device.Stop());
  EXPECT_EQ(SerialOpen(0, L"COM55", 9600, 0, 8, 1.0f, 0, 16, 16), 0) << "the link goes with the device";
}

}  // namespace
