// The whole upload, end to end: the real fwupdater.exe, driven as a person
// would drive it, against the virtual device on a real pty.
#include "tests/support/TestFolder.h"
#include "tests/support/UpdaterDriver.h"
#include "tests/support/VirtualDevice.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 3;
constexpr auto kBoxTimeout = 30s;

std::string RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0xF];
  }
  return text;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::vector<std::wstring> BodyLengthOption(std::size_t fileSize) {
  return {L"--body-length", std::to_wstring(fileSize > 16 ? fileSize - 16 : 0)};
}

std::vector<std::wstring> Join(std::vector<std::wstring> a, const std::vector<std::wstring>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Upload : public testing::Test {
 protected:
  Upload() : folder(L"e2e-" + TestName()) {}

  static std::wstring TestName() {
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    return std::wstring(name.begin(), name.end());
  }

  // Starts the device with `options`, then the updater in the test's folder;
  // a failure names the step.
  testing::AssertionResult Start(const std::vector<std::wstring>& options) {
    if (!device.Start(kPort, options)) return testing::AssertionFailure() << device.Failure();
    updater = std::make_unique<UpdaterDriver>(folder.Path());
    if (!updater->Started()) return testing::AssertionFailure() << updater->Failure();
    return testing::AssertionSuccess();
  }

  // Writes `firmware` as trx.fw and starts the device, expecting its body,
  // with `options`, then the updater.
  testing::AssertionResult StartWith(const std::string& firmware, const std::vector<std::wstring>& options = {}) {
    folder.Write(L"trx.fw", firmware);
    return Start(Join(BodyLengthOption(firmware.size()), options));
  }

  // Picks the device's port, presses UPDATE! and returns the outcome box.
  std::optional<DialogSeen> Run() {
    if (!updater->SelectPort(device.PortName())) return std::nullopt;
    updater->PressUpdate();
    return updater->WaitMessageBox(kBoxTimeout);
  }

  // Waits for the outcome box, noting every position of the bar meanwhile.
  std::optional<DialogSeen> AwaitBoxWatchingTheBar(std::vector<int>& seen) {
    std::optional<DialogSeen> box;
    WaitUntil(
        [&] {
          seen.push_back(updater->Progress());
          return (box = updater->MessageBoxNow()).has_value();
        },
        kBoxTimeout);
    return box;
  }

  void ExpectBox(const std::optional<DialogSeen>& box, const std::wstring& title, const std::wstring& text) {
    ASSERT_TRUE(box.has_value()) << "no message box";
    EXPECT_EQ(box->title, title);
    EXPECT_EQ(box->text, text);
    EXPECT_TRUE(updater->InputControlsEnabled()) << "controls come back before the box";
    EXPECT_TRUE(updater->Dismiss(*box));
  }

  TestFolder folder;
  VirtualDevice device;
  std::unique_ptr<UpdaterDriver> updater;
};

TEST_F(Upload, SendsTheFileAndReportsSuccessWithAMovingBar) {
  // More than a pty holds, so that the paced device sets the body's pace and
  // the bar has something to show between 0 and 100.
  std::string firmware = RandomBytes(24000, 1);
  ASSERT_TRUE(StartWith(firmware, {L"--pace-baud", L"57600"}));
  EXPECT_EQ(updater->PathText(), L"trx.fw");

  ASSERT_TRUE(updater->SelectPort(device.PortName()));
  updater->PressUpdate();
  ASSERT_TRUE(WaitUntil([&] { return updater->InputControlsDisabled(); }, 10s))
      << "the input controls are disabled during a run";

  std::vector<int> seen;
  std::optional<DialogSeen> box = AwaitBoxWatchingTheBar(seen);
  ASSERT_TRUE(box.has_value());
  // Up to the end of the body the bar only rises; the finish then resets it
  // and the refresher shows the last percentage again while the box is open.
  // The watcher may catch the reset before it has seen 100.
  auto drop = std::is_sorted_until(seen.begin(), seen.end());
  EXPECT_TRUE(drop == seen.end() || *drop == 0) << "the bar only rises until the finish resets it";
  EXPECT_GT(std::count_if(seen.begin(), seen.end(), [](int p) { return p > 0 && p < 100; }), 0)
      << "the bar moved through the body";
  EXPECT_TRUE(WaitUntil([&] { return updater->Progress() == 100; }, 2s)) << "100 while the box is open";
  EXPECT_EQ(box->title, L"Information");
  EXPECT_EQ(box->text, L"Device update!");

  EXPECT_EQ(device.Log(), firmware) << "the device got exactly the file, in order";
  EXPECT_EQ(device.LastEvent("settings"), "settings 57600 8 N 1");
  EXPECT_TRUE(device.HasEvent("header " + Hex(firmware.substr(0, 16))));

  ASSERT_TRUE(updater->Dismiss(*box));
  EXPECT_TRUE(updater->InputControlsEnabled());
}

TEST_F(Upload, ReportsAMissingOrLockedFirmwareFile) {
  ASSERT_TRUE(Start({}));
  ExpectBox(Run(), L"ERROR:1", L"Firmware missing!");

  CreateDirectoryW((folder.Path() + L"\\trx.fw").c_str(), nullptr);
  ExpectBox(Run(), L"ERROR:1", L"Firmware missing!");
  RemoveDirectoryW((folder.Path() + L"\\trx.fw").c_str());

  std::wstring file = folder.Write(L"trx.fw", RandomBytes(100, 2));
  UniqueFileHandle writer(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  ExpectBox(Run(), L"ERROR:1", L"Firmware missing!");
  EXPECT_EQ(device.Log(), "") << "nothing reaches the device";
}

TEST_F(Upload, ReportsAPortThatDoesNotOpen) {
  folder.Write(L"trx.fw", RandomBytes(100, 3));
  ASSERT_TRUE(Start({}));
  updater->PressUpdate();
  ExpectBox(updater->WaitMessageBox(kBoxTimeout), L"ERROR:2", L"Can't open the serial port: ");

  ASSERT_TRUE(updater->SelectPort(device.PortName()));
  ASSERT_TRUE(device.Stop());
  updater->PressUpdate();
  ExpectBox(updater->WaitMessageBox(kBoxTimeout), L"ERROR:2", L"Can't open the serial port: COM3");
}

struct SilentCase {
  const char* name;
  std::vector<std::wstring> options;
  std::wstring title;
  std::wstring text;
};

class Answers : public Upload, public testing::WithParamInterface<SilentCase> {};

TEST_P(Answers, EachWrongOrMissingAnswerHasItsOutcome) {
  std::string firmware = RandomBytes(200, 4);
  ASSERT_TRUE(StartWith(firmware, GetParam().options));
  ExpectBox(Run(), GetParam().title, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Device, Answers,
    testing::Values(
        SilentCase{"NoFirstAnswer", {L"--first-answer", L""}, L"ERROR:3", L"Device does not respond!"},
        SilentCase{"OneByte", {L"--first-answer", L"4F"}, L"ERROR:3", L"Device does not respond!"},
        SilentCase{"ThreeBytes", {L"--first-answer", L"4F4B4B"}, L"ERROR:3", L"Device does not respond!"},
        SilentCase{"NoSecondAnswer", {L"--second-answer", L""}, L"ERROR:3", L"Device does not respond!"},
        SilentCase{"WrongFirst", {L"--first-answer", L"4F58"}, L"ERROR:4", L"No correct answer device!"},
        SilentCase{"WrongSecond", {L"--second-answer", L"4E4F"}, L"ERROR:5", L"Update wrong!"},
        SilentCase{"LateButInTime", {L"--answer-delay-ms", L"1500"}, L"Information", L"Device update!"}),
    [](const testing::TestParamInfo<SilentCase>& info) { return std::string(info.param.name); });

struct SizeCase {
  const char* name;
  std::size_t size;
};

class Sizes : public Upload, public testing::WithParamInterface<SizeCase> {};

TEST_P(Sizes, ShortFilesSendAPaddedHeaderAndLittleOrNoBody) {
  std::string firmware = RandomBytes(GetParam().size, 5);
  ASSERT_TRUE(StartWith(firmware));
  ASSERT_TRUE(updater->SelectPort(device.PortName()));
  updater->PressUpdate();
  std::vector<int> seen;
  std::optional<DialogSeen> box = AwaitBoxWatchingTheBar(seen);
  ExpectBox(box, L"Information", L"Device update!");

  std::string expected = firmware;
  if (expected.size() < 16) expected.resize(16, '\0');
  EXPECT_EQ(device.Log(), expected);
  bool hasBody = firmware.size() > 16;
  for (int p : seen) EXPECT_TRUE(p == 0 || (hasBody && p == 100)) << "progress " << p;
}

INSTANTIATE_TEST_SUITE_P(Files, Sizes,
                         testing::Values(SizeCase{"Empty", 0}, SizeCase{"TenBytes", 10}, SizeCase{"HeaderOnly", 16},
                                         SizeCase{"OneBodyByte", 17}),
                         [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST_F(Upload, StaleBytesFromBeforeTheOpenAreDrained) {
  std::string firmware = RandomBytes(300, 6);
  ASSERT_TRUE(StartWith(firmware, {L"--stale", Wide(Hex(RandomBytes(1000, 7)))}));
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
}

TEST_F(Upload, OpenChoosesTheFileAndCancelPutsTheDefaultBack) {
  TestFolder elsewhere(L"e2e-elsewhere");
  std::wstring chosen = elsewhere.Write(L"new.fw", RandomBytes(50, 12));
  ASSERT_TRUE(Start({}));

  updater->PressOpen();
  auto dialog = updater->WaitFileDialog(10s);
  ASSERT_TRUE(dialog.has_value());
  ASSERT_TRUE(updater->ChooseInFileDialog(*dialog, chosen));
  EXPECT_TRUE(WaitUntil([&] { return updater->PathText() == chosen; }, 5s)) << "the full path, folder included";

  updater->PressOpen();
  dialog = updater->WaitFileDialog(10s);
  ASSERT_TRUE(dialog.has_value());
  ASSERT_TRUE(updater->CancelFileDialog(*dialog));
  EXPECT_TRUE(WaitUntil([&] { return updater->PathText() == L"trx.fw"; }, 5s));
}

TEST_F(Upload, TheChosenFileIsWhatGetsUploaded) {
  TestFolder elsewhere(L"e2e-chosen");
  std::string firmware = RandomBytes(500, 8);
  std::wstring chosen = elsewhere.Write(L"new.fw", firmware);
  folder.Write(L"trx.fw", RandomBytes(500, 9));
  ASSERT_TRUE(Start(BodyLengthOption(firmware.size())));
  updater->PressOpen();
  auto dialog = updater->WaitFileDialog(10s);
  ASSERT_TRUE(dialog.has_value());
  ASSERT_TRUE(updater->ChooseInFileDialog(*dialog, chosen));
  ASSERT_TRUE(WaitUntil([&] { return updater->PathText() == chosen; }, 5s));
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
}

TEST_F(Upload, APathTypedByHandWithNonAsciiCharactersIsUsedAsTyped) {
  std::string firmware = RandomBytes(700, 10);
  std::wstring file = folder.Write(L"\u00e9t\u00e9-\u043f\u0440\u043e\u0448\u0438\u0432\u043a\u0430.fw", firmware);
  ASSERT_TRUE(Start(BodyLengthOption(firmware.size())));
  updater->SetPath(file);
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
}

TEST_F(Upload, TheBarIsBackAtZeroSoonAfterTheBox) {
  std::string firmware = RandomBytes(300, 13);
  ASSERT_TRUE(StartWith(firmware));
  auto box = Run();
  ASSERT_TRUE(box.has_value());
  EXPECT_TRUE(WaitUntil([&] { return updater->Progress() == 100; }, 2s)) << "100 while the box is open";
  ASSERT_TRUE(updater->Dismiss(*box));
  // Without a window manager Wine takes up to 2 s to destroy a hidden window,
  // and the box's call returns only then.
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box->window); }, 5s));
  EXPECT_TRUE(WaitUntil([&] { return updater->Progress() == 0; }, 10s)) << "back to 0 after the box";
}

// A device that takes the body at the line's own pace backs the line up (here
// after about 24 KB), and writes then time out having taken nothing; every
// byte must still arrive.
TEST_F(Upload, ADeviceReadingAtLineSpeedGetsEveryByte) {
  std::string firmware = RandomBytes(30000, 15);
  ASSERT_TRUE(StartWith(firmware, {L"--pace-baud", L"57600"}));
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
}

TEST_F(Upload, ASecondRunOnTheSamePortAndFileWorks) {
  std::string firmware = RandomBytes(300, 14);
  ASSERT_TRUE(StartWith(firmware));
  ExpectBox(Run(), L"Information", L"Device update!");
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware + firmware);
}

TEST_F(Upload, ClosingTheIdleWindowEndsTheProgramWithExitCodeZero) {
  ASSERT_TRUE(Start({}));
  EXPECT_EQ(updater->PortItems(), std::vector<std::wstring>{L"COM3"});
  ASSERT_TRUE(updater->Close(10s));
  EXPECT_EQ(updater->Process().ExitCode(), 0u);
}

struct CloseCase {
  const char* name;
  std::vector<std::wstring> options;
  // True once the run has come to the moment of the close.
  bool (*reached)(UpdaterDriver& updater, VirtualDevice& device);
};

class CloseDuringARun : public Upload, public testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringARun, EndsTheProgramWithExitCodeZeroAndNoMessage) {
  std::string firmware = RandomBytes(20000, 11);
  for (int attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    ASSERT_TRUE(StartWith(firmware, GetParam().options));
    ASSERT_TRUE(updater->SelectPort(device.PortName()));
    updater->PressUpdate();
    ASSERT_TRUE(WaitUntil([&] { return GetParam().reached(*updater, device); }, 20s));
    UpdaterDriver::Closing closing = updater->CloseWatchingForBoxes(20s);
    ASSERT_TRUE(closing.ended);
    EXPECT_FALSE(closing.boxShown);
    EXPECT_EQ(updater->Process().ExitCode(), 0u);
    ASSERT_TRUE(device.Stop());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, CloseDuringARun,
    testing::Values(
        // The worker has taken the controls; the header goes 100 ms after the port opens.
        CloseCase{"BeforeTheHeader", {},
                  [](UpdaterDriver& updater, VirtualDevice&) { return updater.InputControlsDisabled(); }},
        CloseCase{"InTheFirstReplyWait", {L"--answer-delay-ms", L"4000"},
                  [](UpdaterDriver&, VirtualDevice& device) { return !device.LastEvent("header ").empty(); }},
        CloseCase{"InTheBody", {L"--pace-baud", L"9600"},
                  [](UpdaterDriver& updater, VirtualDevice&) { return updater.Progress() > 0; }}),
    [](const testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

// A device named as the firmware path is refused before anything is opened:
// a port's line is never touched, a raw disk never read.
TEST_F(Upload, DevicePathsAreNoFirmwareAndAreRefusedWithoutAnOpen) {
  std::string firmware = RandomBytes(300, 16);
  ASSERT_TRUE(StartWith(firmware));
  ASSERT_TRUE(updater->SelectPort(device.PortName()));
  ASSERT_TRUE(device.WaitForEvent("open 1")) << "the device sees the port probe's open";
  std::vector<std::string> eventsBefore = device.Events();
  for (const std::wstring& path : {device.PortName(), L"\\\\.\\" + device.PortName(), std::wstring(L"\\\\.\\C:"),
                                   std::wstring(L"NUL"), std::wstring(L"CON")}) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    updater->SetPath(path);
    updater->PressUpdate();
    ExpectBox(updater->WaitMessageBox(5s), L"ERROR:1", L"Firmware missing!");
  }
  EXPECT_EQ(device.Events(), eventsBefore) << "the device saw nothing of the refused paths: no open, no byte";
  updater->SetPath(L"trx.fw");
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
  EXPECT_TRUE(device.HasEvent("open 2")) << "the run's open is seen";
}

// Renames on the host, as a build does (rename(2), through /bin/mv). Wine's
// own rename, like Windows on a local disk, refuses to replace a file the
// updater holds open without sharing; a share's server does not ask.
bool RenameOnTheHost(const std::wstring& from, const std::wstring& to) {
  std::string source = UnixPathOf(from), target = UnixPathOf(to);
  if (source.empty() || target.empty()) return false;
  ChildProcess mv = ChildProcess::Start(L"Z:\\bin\\mv", {L"-f", Wide(source), Wide(target)});
  // Wine may report a failure for a Linux program it did start.
  return WaitUntil([&] { return GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

// A build renames a new trx.fw over the old one while the run waits for the
// first answer: the run sends the file it opened, its bytes and its length,
// neither cut to the new file's length nor padded with zeros up to it.
TEST_F(Upload, AFileRenamedOverTheFirmwareDuringTheRunChangesNothingThatIsSent) {
  std::string firmware = RandomBytes(3000, 17);
  for (std::size_t replacement : {std::size_t{6000}, std::size_t{1000}}) {
    SCOPED_TRACE("replaced by " + std::to_string(replacement) + " bytes");
    ASSERT_TRUE(StartWith(firmware, {L"--answer-delay-ms", L"1500"}));
    ASSERT_TRUE(updater->SelectPort(device.PortName()));
    updater->PressUpdate();
    ASSERT_TRUE(device.WaitForEvent("header " + Hex(firmware.substr(0, 16))));
    std::wstring fresh = folder.Write(L"trx.new", RandomBytes(replacement, 18));
    ASSERT_TRUE(RenameOnTheHost(fresh, folder.Path() + L"\\trx.fw"));
    ExpectBox(updater->WaitMessageBox(kBoxTimeout), L"Information", L"Device update!");
    EXPECT_EQ(device.Log(), firmware) << "exactly the bytes of the file the run opened";
    updater.reset();
    ASSERT_TRUE(device.Stop());
  }
}

// A press of Open that comes right behind UPDATE! is queued before the run
// takes the controls: it opens no dialog, whose path would change the field
// while the run goes on.
TEST_F(Upload, OpenPressedRightAfterUpdateShowsNoDialogDuringTheRun) {
  std::string firmware = RandomBytes(3000, 19);
  ASSERT_TRUE(StartWith(firmware, {L"--answer-delay-ms", L"500"}));
  ASSERT_TRUE(updater->SelectPort(device.PortName()));
  updater->PressUpdate();
  updater->PressOpen();
  bool dialogSeen = false;
  std::optional<DialogSeen> box;
  WaitUntil(
      [&] {
        dialogSeen = dialogSeen || updater->WaitFileDialog(0ms).has_value();
        return (box = updater->MessageBoxNow()).has_value();
      },
      kBoxTimeout);
  EXPECT_FALSE(dialogSeen);
  ExpectBox(box, L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
}

// Nested folders under `root` and a file in them whose full path is exactly
// `length` characters; made and removed through the long form of the path.
class LongPath {
 public:
  LongPath(const std::wstring& root, std::size_t length, const std::string& contents) {
    std::wstring path = root;
    while (path.size() + 61 + 20 < length) {
      path += L"\\" + std::wstring(59, L'd');
      CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
      folders_.push_back(path);
    }
    path_ = path + L"\\" + std::wstring(length - path.size() - 4, L'f') + L".fw";
    UniqueFileHandle file(
        CreateFileW((L"\\\\?\\" + path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  }
  ~LongPath() {
    DeleteFileW((L"\\\\?\\" + path_).c_str());
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
  }
  LongPath(const LongPath&) = delete;
  LongPath& operator=(const LongPath&) = delete;

  const std::wstring& Path() const { return path_; }

 private:
  std::vector<std::wstring> folders_;
  std::wstring path_;
};

// Wine's own file dialog keeps the path in buffers of MAX_PATH characters and
// faults on a longer one, typed whole, typed relative to its folder, or made
// by going down folder by folder and pressing Open on the file's name: there
// the path goes into the field by hand, which still takes it through the file
// layer's long form.
TEST_F(Upload, AChosenPathOf300CharactersIsUploaded) {
  std::string firmware = RandomBytes(500, 20);
  LongPath chosen(folder.Path(), 300, firmware);
  ASSERT_EQ(chosen.Path().size(), 300u);
  ASSERT_TRUE(Start(BodyLengthOption(firmware.size())));
  updater->SetPath(chosen.Path());
  ASSERT_TRUE(WaitUntil([&] { return updater->PathText() == chosen.Path(); }, 5s)) << "not \"trx.fw\"";
  ExpectBox(Run(), L"Information", L"Device update!");
  EXPECT_EQ(device.Log(), firmware);
}

}  // namespace
