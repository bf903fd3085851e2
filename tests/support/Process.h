// Child processes for tests: Windows programs, and Linux programs (such as
// the virtual device), which Wine starts from a Z:\ path. Wine does not report
// a Linux child's exit code reliably, so such children pass results through
// files.
#pragma once

#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// The Windows path of a Unix path under Wine's Z: drive.
std::wstring WindowsPathOf(std::string_view unixPath);
// The Unix path Wine gives a Windows path; empty when not under Wine.
std::string UnixPathOf(const std::wstring& windowsPath);
// A command-line argument quoted for CommandLineToArgvW.
std::wstring QuoteArgument(std::wstring_view argument);

// How a child starts beyond its command line.
struct StartOptions {
  // Its standard handles, passed on as they are (null, or a value that names
  // nothing in the child, is what some starters give); else the default ones.
  bool giveStandardHandles = false;
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
  DWORD creationFlags = 0;  // such as CREATE_NEW_PROCESS_GROUP
};

namespace handle_traits {

// A child process that must not outlive the test that started it: one still
// running when its handle goes is ended first.
struct EndedProcess {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept {
    if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT && TerminateProcess(h, 1)) WaitForSingleObject(h, 5000);
    CloseHandle(h);
  }
};

}  // namespace handle_traits

// A started program, ended when the object goes if it still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  // Starts `program` (a Windows path) with the arguments; empty on failure.
  static ChildProcess Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
                            const wchar_t* workingDirectory = nullptr, const StartOptions& options = {});

  explicit operator bool() const { return static_cast<bool>(process_); }
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.get(); }
  // True once the process has ended, waiting up to `timeout`.
  bool WaitExit(std::chrono::milliseconds timeout);
  // The exit code, or STILL_ACTIVE.
  DWORD ExitCode() const;
  void Terminate();

 private:
  UniqueHandle<handle_traits::EndedProcess> process_;
  DWORD id_ = 0;
};
