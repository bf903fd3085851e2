// fwupload.exe publishing to a Mosquitto on loopback whose certificate the
// test made (tests/e2e/broker-bench.sh): over mqtt://, and over mqtts:// with
// that certificate as --publish-ca (a file of any name), the result arrives
// and nothing is told; trusted by nothing, the board is updated all the same,
// the reason told once and the exit status the board's.
#include "cli/windows/Wide.h"
#include "runtime/base/ScopeExit.h"
#include "runtime/base/UniqueHandle.h"

#include "tests/support/Process.h"
#include "tests/support/TestFolder.h"
#include "tests/support/VirtualDevice.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 16;

struct Ran {
  std::optional<DWORD> status;  // none when it did not end within a minute
  std::string output;           // standard output and error
};

Ran RunFwupload(const TestFolder& folder, const std::vector<std::wstring>& arguments) {
  std::wstring path = folder.Write(L"fwupload.out", "");
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  UniqueFileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  StartOptions start{.giveStandardHandles = true, .output = out.get(), .error = out.get()};
  ChildProcess fwupload = ChildProcess::Start(WindowsPathOf(FWU_FWUPLOAD_EXE), arguments, nullptr, start);
  Ran ran;
  if (fwupload && fwupload.WaitExit(60s)) ran.status = fwupload.ExitCode();
  out.reset();
  ran.output = ReadWholeFile(path);
  return ran;
}

// A listener's port ("tcp" or "tls") from the broker's "tcp=PORT ws=PORT
// tls=PORT".
std::wstring PortOf(const TestFolder& folder, const std::string& listener) {
  std::string ports = ReadWholeFile(folder.Path() + L"\\broker\\ports");
  std::size_t at = ports.find(listener + "=");
  return at == std::string::npos ? L"" : std::to_wstring(std::atoi(ports.c_str() + at + listener.size() + 1));
}

// The payload of the first message on `topic` the bench's subscriber got.
std::optional<std::string> PayloadOn(const TestFolder& folder, const std::string& topic) {
  std::string messages = ReadWholeFile(folder.Path() + L"\\messages");
  std::size_t at = messages.find("\n" + topic + " ");
  if (at == std::string::npos) return std::nullopt;
  std::size_t start = at + topic.size() + 2;
  return messages.substr(start, messages.find('\n', start) - start);
}

// A station `name` that updates one board on COM<kPort> and publishes with
// `publishing` (--publish URL ...); the board must have the file.
Ran UpdateOneBoard(const TestFolder& folder, const std::string& firmware, const std::wstring& name,
                   std::vector<std::wstring> publishing) {
  VirtualDevice board;
  if (!board.Start(kPort, {L"--body-length", std::to_wstring(firmware.size() - 16)})) return {};
  std::wstring records = folder.Path() + L"\\" + name + L".sqlite";
  publishing.insert(publishing.end(), {L"--quiet", L"--station", name, L"--record", records, L"--port",
                                       board.PortName(), folder.Write(L"trx.fw", firmware)});
  Ran ran = RunFwupload(folder, publishing);
  EXPECT_EQ(board.Log(), firmware) << "station " << fwu::cli::Narrowed(name);
  return ran;
}

// Waits for the station's result on the broker; its outcome, -1 for none.
int PublishedOutcome(const TestFolder& folder, const std::string& station) {
  std::optional<std::string> result;
  WaitUntil([&] { return (result = PayloadOn(folder, "test/" + station + "/result")).has_value(); }, 20s);
  return nlohmann::json::parse(result.value_or("{}"), nullptr, false).value("outcome", -1);
}

TEST(ConsolePublish, ResultsArriveOverMqttAndOverTlsWithTheCaAndWithoutItTheBoardIsStillUpdated) {
  TestFolder folder(L"fwupload-e2e-publish");
  std::string firmware(2000, '\x5a');
  // Kept until the bench has stopped: a ChildProcess that goes ends its process.
  // A Linux program's arguments are its Unix paths.
  ChildProcess bench = ChildProcess::Start(WindowsPathOf("/bin/bash"),
                                           {fwu::cli::Widened(FWU_SOURCE_DIR "/tests/e2e/broker-bench.sh"),
                                            fwu::cli::Widened(UnixPathOf(folder.Path()))});
  auto stop = scope_exit([&] {
    folder.Write(L"stop", "");
    WaitUntil([&] { return GetFileAttributesW((folder.Path() + L"\\stopped").c_str()) != INVALID_FILE_ATTRIBUTES; });
  });
  auto subscribed = [&] { return ReadWholeFile(folder.Path() + L"\\messages").find("SUBACK") != std::string::npos; };
  ASSERT_TRUE(WaitUntil(subscribed, 20s)) << ReadWholeFile(folder.Path() + L"\\openssl.err");
  std::wstring plain = L"mqtt://127.0.0.1:" + PortOf(folder, "tcp") + L"/test";
  std::wstring secure = L"mqtts://127.0.0.1:" + PortOf(folder, "tls") + L"/test";
  // The CA file under a name outside the ANSI code page.
  std::wstring ca = folder.Write(L"ca-\u00fc\u6d4b.pem", ReadWholeFile(folder.Path() + L"\\cert.pem"));

  using Publishing = std::vector<std::wstring>;
  for (auto [station, publishing] : {std::pair{"plain", Publishing{L"--publish", plain}},
                                     std::pair{"trusting", Publishing{L"--publish", secure, L"--publish-ca", ca}}}) {
    Ran ran = UpdateOneBoard(folder, firmware, fwu::cli::Widened(station), publishing);
    EXPECT_EQ(ran.status, 0u) << ran.output;
    EXPECT_EQ(ran.output.find("cannot publish"), std::string::npos) << ran.output;
    EXPECT_EQ(PublishedOutcome(folder, station), 0)
        << station << ": " << ReadWholeFile(folder.Path() + L"\\messages");
  }

  // Without --publish-ca only the Windows ROOT store counts, which does not
  // hold the test's certificate.
  Ran doubting = UpdateOneBoard(folder, firmware, L"doubting", {L"--publish", secure});
  EXPECT_EQ(doubting.status, 0u) << doubting.output;
  std::size_t tls = doubting.output.find("TLS");
  EXPECT_NE(tls, std::string::npos) << doubting.output;
  EXPECT_EQ(doubting.output.find("TLS", tls + 1), std::string::npos) << doubting.output;
  EXPECT_FALSE(PayloadOn(folder, "test/doubting/result")) << ReadWholeFile(folder.Path() + L"\\messages");
}

}  // namespace
