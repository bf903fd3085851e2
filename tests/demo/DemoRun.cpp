// The updater's demonstration run for a machine without a screen: starts
// fwupdater.exe in the given folder, picks the given port, presses UPDATE!,
// follows the progress bar, and when the outcome box is open lets the caller
// take a screenshot (it creates <shot-ready> and waits for <shot-done>), then
// dismisses the box and closes the window. Given a percentage, the screenshot
// is taken instead once the bar has reached it, while the run goes on. Exit
// code 0 for "Device update!".
//
//   updater_demo.exe <folder> <port> <shot-ready> <shot-done> [<percent>]
#include "tests/support/UpdaterDriver.h"
#include "tests/support/Wait.h"

#include <cstdio>
#include <string>

using namespace std::chrono_literals;

namespace {

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Tells the caller that the screen may be shot, and waits until it has been.
void LetCallerShoot(const wchar_t* ready, const wchar_t* done) {
  CloseHandle(CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  WaitUntil([&] { return FileExists(done); }, 30s);
}

int Fail(const char* what) {
  std::printf("demo: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5 && argc != 6) {
    return Fail("usage: updater_demo.exe <folder> <port> <shot-ready> <shot-done> [<percent>]");
  }
  const bool shootOutcome = argc == 5;
  int shotAt = shootOutcome ? -1 : _wtoi(argv[5]);  // -1 once taken
  UpdaterDriver updater(argv[1]);
  if (!updater.Started()) return Fail("the updater window did not appear");
  std::printf("demo: the port list holds %zu port(s)\n", updater.PortItems().size());
  if (!updater.SelectPort(argv[2])) return Fail("the device's port is not in the list");
  std::printf("demo: picked %ls, pressing UPDATE!\n", argv[2]);
  updater.PressUpdate();

  int shown = -1;
  std::optional<DialogSeen> box;
  WaitUntil(
      [&] {
        int progress = updater.Progress();
        if (progress / 10 != shown / 10 || (progress == 100 && shown != 100)) {
          std::printf("demo: progress bar at %d %%\n", progress);
          std::fflush(stdout);
          shown = progress;
        }
        if (shotAt >= 0 && progress >= shotAt) {
          LetCallerShoot(argv[3], argv[4]);
          shotAt = -1;
        }
        return (box = updater.MessageBoxNow()).has_value();
      },
      120s);
  if (!box) return Fail("no outcome message appeared");
  std::printf("demo: message box \"%ls\": %ls\n", box->title.c_str(), box->text.c_str());
  std::fflush(stdout);

  if (shootOutcome) LetCallerShoot(argv[3], argv[4]);
  updater.Dismiss(*box);
  bool closed = updater.Close(30s);
  std::printf("demo: window closed, exit code %lu\n", updater.Process().ExitCode());
  return closed && box->text == L"Device update!" ? 0 : 1;
}
