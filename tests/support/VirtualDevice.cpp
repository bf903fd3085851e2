#include "tests/support/VirtualDevice.h"

#include "tests/support/Wait.h"

#include <windows.h>

#include <cstdlib>

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A fresh folder for one device's files, beside the bench's ports folder; on
// failure, empty with `failure` saying why.
std::string MakeDeviceFolder(int port, std::string& failure) {
  const char* ports = std::getenv("FWU_PORTS");
  if (!ports) {
    failure = "device folder: FWU_PORTS is not set (run on the bench)";
    return {};
  }
  std::string devices = std::string(ports) + "/../devices";
  CreateDirectoryW(WindowsPathOf(devices).c_str(), nullptr);
  // Process ids repeat from one Wine session to the next: count on until a
  // name is free.
  static int counter = 0;
  for (int tries = 0; tries < 1000; ++tries) {
    std::string folder = devices + "/com" + std::to_string(port) + "-" + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(++counter);
    if (CreateDirectoryW(WindowsPathOf(folder).c_str(), nullptr)) return folder;
    if (DWORD error = GetLastError(); error != ERROR_ALREADY_EXISTS) {
      failure = "device folder: CreateDirectoryW " + folder + " failed, error " + std::to_string(error);
      return {};
    }
  }
  failure = "device folder: 1000 names in " + devices + " taken";
  return {};
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::string ReadWholeFile(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string contents;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) contents.append(buffer, read);
  return contents;
}

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

VirtualDevice::~VirtualDevice() { Stop(); }

bool VirtualDevice::Start(int port, const std::vector<std::wstring>& options) {
  failure_.clear();
  unixFolder_ = MakeDeviceFolder(port, failure_);
  const char* ports = std::getenv("FWU_PORTS");
  if (unixFolder_.empty() || !ports) return false;
  port_ = port;
  folder_ = WindowsPathOf(unixFolder_);
  std::vector<std::wstring> arguments{L"--link", Widen(std::string(ports) + "/com" + std::to_string(port)),
                                      L"--log", Widen(UnixFile("log")),
                                      L"--events", Widen(UnixFile("events")),
                                      L"--ready", Widen(UnixFile("ready")),
                                      L"--stop-file", Widen(UnixFile("stop")),
                                      L"--quiet"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  process_ = ChildProcess::Start(WindowsPathOf(FWU_VIRTUAL_DEVICE), arguments);
  // Wine may report a failure (ERROR_INVALID_HANDLE) for a Linux program it
  // did start: the ready file decides, and then there is no process handle.
  DWORD startError = process_ ? ERROR_SUCCESS : GetLastError();
  running_ = true;
  std::wstring ready = File(L"ready");
  if (WaitUntil([&] { return FileExists(ready); })) return true;
  failure_ = "device ready file: " + unixFolder_ + "/ready not written within 10 s (CreateProcessW " +
             (startError == ERROR_SUCCESS ? std::string("succeeded") : "error " + std::to_string(startError)) +
             "; events: " + ReadWholeFile(File(L"events")) + ")";
  Stop();
  return false;
}

bool VirtualDevice::Stop() {
  if (!running_) return true;
  running_ = false;
  UniqueFileHandle stop(CreateFileW(File(L"stop").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  // The device says "exit" once its link is gone, or it has already ended
  // after a hang-up.
  bool stopped = WaitForEvent("exit");
  process_.WaitExit(std::chrono::seconds(5));
  return stopped;
}

std::string VirtualDevice::Log() const { return ReadWholeFile(File(L"log")); }

std::vector<std::string> VirtualDevice::Events() const {
  std::string text = ReadWholeFile(File(L"events"));
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::string VirtualDevice::LastEvent(const std::string& prefix) const {
  std::vector<std::string> lines = Events();
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (it->rfind(prefix, 0) == 0) return *it;
  return {};
}

bool VirtualDevice::HasEvent(const std::string& line) const {
  for (const std::string& event : Events())
    if (event == line) return true;
  return false;
}

bool VirtualDevice::WaitForEvent(const std::string& line, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return HasEvent(line); }, timeout);
}

bool VirtualDevice::WaitForLastEvent(const std::string& prefix, const std::string& line,
                                     std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return LastEvent(prefix) == line; }, timeout);
}

bool VirtualDevice::WaitForLog(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Log().size() >= count; }, timeout);
}
