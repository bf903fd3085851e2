// fwupload.exe, the Windows console uploader, run as a script runs it against
// the virtual device: its exit status tells the outcome.
#include "tests/support/Process.h"
#include "tests/support/TestFolder.h"
#include "tests/support/VirtualDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 5;
constexpr int kWrongAnswerPort = 6;
constexpr int kNoDevicePort = 9;

// fwupload's exit status, or nothing when it did not end within a minute.
std::optional<DWORD> RunFwupload(const std::vector<std::wstring>& arguments) {
  ChildProcess fwupload = ChildProcess::Start(WindowsPathOf(FWU_FWUPLOAD_EXE), arguments);
  if (!fwupload) return std::nullopt;
  if (!fwupload.WaitExit(60s)) {
    fwupload.Terminate();
    return std::nullopt;
  }
  return fwupload.ExitCode();
}

TEST(ConsoleUpload, ExitsZeroWhenTheDeviceHasTheFileAndWithTheOutcomeOtherwise) {
  TestFolder folder(L"fwupload-e2e");
  std::string firmware(3000, '\0');
  for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<char>(i * 31 + 5);
  std::wstring file = folder.Write(L"trx.fw", firmware);
  std::wstring bodyLength = std::to_wstring(firmware.size() - 16);

  VirtualDevice device;
  ASSERT_TRUE(device.Start(kPort, {L"--body-length", bodyLength}));
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", device.PortName(), file}), 0u);
  EXPECT_EQ(device.Log(), firmware);

  VirtualDevice wrong;
  ASSERT_TRUE(wrong.Start(kWrongAnswerPort, {L"--first-answer", L"4E4F"}));
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", wrong.PortName(), file}), 4u);
  EXPECT_EQ(RunFwupload({L"--quiet", L"--port", L"COM" + std::to_wstring(kNoDevicePort), file}), 2u);
}

}  // namespace
