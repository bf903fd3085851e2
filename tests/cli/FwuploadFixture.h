// The fixture of fwupload's tests: a firmware file in a fresh folder, virtual
// devices on ptys for it, and fwupload run with its output in files (and a
// station's default records in that folder).
#pragma once

#include "tests/native/Child.h"
#include "tests/native/Folder.h"
#include "tests/native/PtyDevice.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Ran {
  std::optional<int> status;
  std::vector<std::string> out;
  std::vector<std::string> err;
};

// UUCP lock files in the system's lock folders that name process `pid`.
inline std::vector<std::string> LockFilesOf(pid_t pid) {
  std::vector<std::string> found;
  std::error_code error;
  std::filesystem::path run = std::filesystem::canonical("/run/lock", error);
  std::filesystem::path var = std::filesystem::canonical("/var/lock", error);
  std::vector<std::filesystem::path> folders{run};
  if (var != run) folders.push_back(var);
  for (const auto& folder : folders)
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
      if (entry.is_regular_file(error) && std::atoll(ReadFile(entry.path()).c_str()) == pid)
        found.push_back(entry.path());
  return found;
}

class Fwupload : public ::testing::Test {
 protected:
  // A station's records by default go to the test's folder, not the user's.
  Fwupload() { setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1); }
  // The bound on an end that is due at once: generous, so that a loaded
  // machine or a sanitizer fails no sound run, and still short of a hang.
  // How quickly it really comes is a benchmark's figure (stop_time_bench).
  static constexpr std::chrono::seconds kPromptly{10};

  // A firmware file of `size` bytes, every byte telling its place.
  std::string Firmware(std::size_t size) {
    firmware.resize(size);
    for (std::size_t i = 0; i < size; ++i) firmware[i] = static_cast<char>(i * 7 + i / 251);
    WriteFile(folder / "fw.bin", firmware);
    return folder / "fw.bin";
  }
  // A device that takes the body of the current firmware and answers as
  // `options` say.
  PtyDevice& Device(std::vector<std::string> options = {}) {
    options.insert(options.end(), {"--body-length", std::to_string(firmware.size() - 16)});
    devices.push_back(std::make_unique<PtyDevice>(folder.Path(), "dev" + std::to_string(devices.size()), options));
    EXPECT_TRUE(devices.back()->Ready());
    return *devices.back();
  }
  std::unique_ptr<Child> Start(const std::vector<std::string>& arguments, const std::string& name = "run") {
    return std::make_unique<Child>(FWUPLOAD, arguments, folder / (name + ".out"), folder / (name + ".err"));
  }
  Ran Finish(Child& child, const std::string& name = "run", std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    Ran ran{child.Wait(timeout), {}, {}};
    ran.out = LinesOf(ReadFile(folder / (name + ".out")));
    ran.err = LinesOf(ReadFile(folder / (name + ".err")));
    return ran;
  }
  Ran Run(const std::vector<std::string>& arguments) { return Finish(*Start(arguments)); }
  // fwupload copied into the test's folder, opened to every user, for a run
  // as another user, who may not reach the build tree (a clone in a private
  // folder).
  std::string FwuploadForAnotherUser() {
    std::string copy = folder / "fwupload";
    std::filesystem::copy_file(FWUPLOAD, copy, std::filesystem::copy_options::overwrite_existing);
    chmod(copy.c_str(), 0755);
    chmod(folder.Path().c_str(), 0755);
    return copy;
  }

  Folder folder;
  std::string firmware;
  std::vector<std::unique_ptr<PtyDevice>> devices;
};
