#include "tests/native/PtyDevice.h"

#include "tests/native/Folder.h"
#include "tests/native/Wait.h"

#include <filesystem>

PtyDevice::PtyDevice(const std::string& folder, const std::string& name, const std::vector<std::string>& options)
    : base_(folder + "/" + name), port_(base_) {
  std::vector<std::string> arguments{"--link", port_, "--log", File(".log"), "--events", File(".events"),
                                     "--ready", File(".ready"), "--stop-file", File(".stop"), "--quiet"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  process_ = std::make_unique<Child>(FWU_VIRTUAL_DEVICE, arguments, File(".out"), File(".err"));
  ready_ = WaitUntil([&] { return std::filesystem::exists(File(".ready")); });
}

PtyDevice::~PtyDevice() { Stop(); }

void PtyDevice::Stop() {
  if (!process_) return;
  WriteFile(File(".stop"), "");
  process_->Wait(std::chrono::seconds(5));
  process_.reset();
}

std::string PtyDevice::Log() const { return ReadFile(File(".log")); }

std::vector<std::string> PtyDevice::Events() const { return LinesOf(ReadFile(File(".events"))); }

bool PtyDevice::HasEvent(const std::string& line) const {
  for (const std::string& event : Events())
    if (event == line) return true;
  return false;
}

std::string PtyDevice::LastEvent(const std::string& prefix) const {
  std::vector<std::string> events = Events();
  for (auto it = events.rbegin(); it != events.rend(); ++it)
    if (it->rfind(prefix, 0) == 0) return *it;
  return {};
}

bool PtyDevice::WaitForEvent(const std::string& line, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return HasEvent(line); }, timeout);
}

bool PtyDevice::WaitForEventStarting(const std::string& prefix, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return !LastEvent(prefix).empty(); }, timeout);
}

int PtyDevice::Opens() const {
  std::string last = LastEvent("open ");
  return last.empty() ? 0 : std::stoi(last.substr(5));
}
