// fwupload.exe publishing over TLS, to a Mosquitto on loopback whose
// certificate the test made (tests/e2e/broker-bench.sh): trusted through
// --publish-ca (a file of any name), the result arrives; trusted by nothing (without --publish-ca
// only Windows' ROOT store counts), the board is updated all the same, the
// reason said once and the exit status the board's.
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

constexpr int kTlsPort = 17;

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

// The TLS listener's port, from the broker's "tcp=PORT ws=PORT tls=PORT".
std::wstring TlsPortOf(const std::string& ports) {
  std::size_t at = ports.find("tls=");
  return at == std::string::npos ? L"" : std::to_wstring(std::atoi(ports.c_str() + at + 4));
}

// The payload of the first message on `topic` the bench's subscriber got.
std::optional<std::string> PayloadOn(const TestFolder& folder, const std::string& topic) {
  std::string messages = ReadWholeFile(folder.Path() + L"\\messages");
  std::size_t at = messages.find("\n" + topic + " ");
  if (at == std::string::npos) return std::nullopt;
  std::size_t start = at + topic.size() + 2;
  return messages.substr(start, messages.find('\n', start) - start);
}

TEST(ConsolePublish, OverTlsTheResultArrivesWithTheCaAndTheBoardIsUpdatedWithout) {
  TestFolder folder(L"fwupload-e2e-tls");
  std::string firmware(2000, '\x5a');
  std::wstring file = folder.Write(L"trx.fw", firmware);
  // Kept until the bench has stopped: a ChildProcess that goes ends its process.
  // A Linux program's arguments are its Unix paths.
  ChildProcess bench = ChildProcess::Start(WindowsPathOf("/bin/bash"),
                                           {fwu::cli::Widened(FWU_SOURCE_DIR "/tests/e2e/broker-bench.sh"),
                                            fwu::cli::Widened(UnixPathOf(folder.Path()))});
  auto stop = scope_exit([&] {
    folder.Write(L"stop", "");
    WaitUntil([&] { return GetFileAttributesW((folder.Path() + L"\\stopped").c_str()) != INVALID_FILE_ATTRIBUTES; });
  });
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(folder.Path() + L"\\messages").find("SUBACK") != std::string::npos; },
                        20s))
      << ReadWholeFile(folder.Path() + L"\\openssl.err");
  std::wstring url = L"mqtts://127.0.0.1:" + TlsPortOf(ReadWholeFile(folder.Path() + L"\\broker\\ports")) + L"/test";

  VirtualDevice trusting;
  ASSERT_TRUE(trusting.Start(kTlsPort, {L"--body-length", std::to_wstring(firmware.size() - 16)}));
  // The CA file under a name outside the ANSI code page.
  std::wstring ca = folder.Write(L"ca-\u00fc\u6d4b.pem", ReadWholeFile(folder.Path() + L"\\cert.pem"));
  Ran withCa = RunFwupload(folder, {L"--quiet", L"--publish", url, L"--publish-ca", ca,
                                    L"--station", L"trusting", L"--record", folder.Path() + L"\\trusting.sqlite",
                                    L"--port", trusting.PortName(), file});
  EXPECT_EQ(withCa.status, 0u) << withCa.output;
  EXPECT_EQ(withCa.output.find("cannot publish"), std::string::npos) << withCa.output;
  std::optional<std::string> result;
  EXPECT_TRUE(WaitUntil([&] { return (result = PayloadOn(folder, "test/trusting/result")).has_value(); }, 20s))
      << ReadWholeFile(folder.Path() + L"\\messages");
  EXPECT_EQ(nlohmann::json::parse(result.value_or("{}")).value("outcome", -1), 0);
  ASSERT_TRUE(trusting.Stop());

  VirtualDevice doubting;
  ASSERT_TRUE(doubting.Start(kTlsPort, {L"--body-length", std::to_wstring(firmware.size() - 16)}));
  Ran without = RunFwupload(folder, {L"--quiet", L"--publish", url, L"--station", L"doubting", L"--record",
                                     folder.Path() + L"\\doubting.sqlite", L"--port", doubting.PortName(), file});
  EXPECT_EQ(without.status, 0u) << without.output;
  EXPECT_EQ(doubting.Log(), firmware);
  std::size_t tls = without.output.find("TLS");
  EXPECT_NE(tls, std::string::npos) << without.output;
  EXPECT_EQ(without.output.find("TLS", tls + 1), std::string::npos) << without.output;
  EXPECT_FALSE(PayloadOn(folder, "test/doubting/result")) << ReadWholeFile(folder.Path() + L"\\messages");
}

}  // namespace
