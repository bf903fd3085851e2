// fwupload --watch as a station, in figures.
//  - Idle: the processor time the station takes with eight patterns and no
//    board in, as a share of one core (goal: under 0.5 %).
//  - Appearance: the time from a port's link appearing in a watched folder to
//    the device's receiving the header's first byte, over several boards
//    plugged in one after another (goal: under 0.5 s). It holds the station's
//    look interval, a run's start and open, and the engine's settle before
//    the header.
#include "tests/native/Child.h"
#include "tests/native/Folder.h"
#include "tests/native/PortLinks.h"
#include "tests/native/PtyDevice.h"
#include "tests/native/Wait.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto kIdleTime = 20s;
constexpr int kBoards = 12;
constexpr std::size_t kBodyBytes = 1000;

using Seconds = std::chrono::duration<double>;

void IdleShare(const Folder& folder, const std::string& firmware) {
  std::vector<std::string> arguments{"--watch", "--quiet"};
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyAMA*", "/dev/rfcomm*", "/dev/ttyGS*",
                              "/dev/serial/by-id/*", "/dev/serial/by-path/*"})
    arguments.insert(arguments.end(), {"-p", pattern});
  arguments.insert(arguments.end(), {"-p", folder / "empty/*", firmware});
  PortLinks empty(folder.Path(), "empty");
  auto started = std::chrono::steady_clock::now();
  Child station(FWUPLOAD, arguments, folder / "idle.out", folder / "idle.err");
  std::this_thread::sleep_for(kIdleTime);
  station.Signal(SIGINT);
  auto status = station.Wait(5s);
  Seconds wall = std::chrono::steady_clock::now() - started;
  std::printf("idle, 8 patterns, no board: %.3f %% of a core (%.1f ms of processor in %.1f s; goal < 0.5 %%)%s\n",
              100.0 * Seconds(station.CpuTime()).count() / wall.count(),
              std::chrono::duration<double, std::milli>(station.CpuTime()).count(), wall.count(),
              status == 0 ? "" : "  [the station did not end normally]");
}

void AppearanceToHeader(const Folder& folder, const std::string& firmware) {
  PortLinks ports(folder.Path(), "ports");
  // The folder starts empty: with --present a board that beats the first look
  // is updated all the same.
  Child station(FWUPLOAD, {"--watch", "--present", "--quiet", "-p", ports.Pattern(), firmware},
                folder / "plug.out", folder / "plug.err");
  std::vector<double> delays;
  for (int i = 0; i < kBoards; ++i) {
    PtyDevice board(folder.Path(), "board" + std::to_string(i), {"--body-length", std::to_string(kBodyBytes)});
    // Plugged in between two looks of the station, at no fixed place.
    std::this_thread::sleep_for(std::chrono::milliseconds(37 * i % 250));
    auto plugged = std::chrono::steady_clock::now();
    std::string port = ports.Plug("usb" + std::to_string(i), board.Port());
    bool heard = WaitUntil([&] { return !board.Log().empty(); }, 5s);
    Seconds delay = std::chrono::steady_clock::now() - plugged;
    if (!heard || !board.WaitForEventStarting("done ")) {
      std::printf("board %d: no update\n", i);
      continue;
    }
    delays.push_back(delay.count());
    ports.Unplug("usb" + std::to_string(i));
  }
  station.Signal(SIGINT);
  station.Wait(5s);
  if (delays.empty()) return;
  std::sort(delays.begin(), delays.end());
  std::printf("appearance to the header's first byte, %zu boards: median %.0f ms, max %.0f ms, min %.0f ms "
              "(goal < 500 ms)\n",
              delays.size(), 1000 * delays[delays.size() / 2], 1000 * delays.back(), 1000 * delays.front());
}

}  // namespace

int main() {
  Folder folder;
  std::string firmware(16 + kBodyBytes, '\x5A');
  WriteFile(folder / "fw.bin", firmware);
  IdleShare(folder, folder / "fw.bin");
  AppearanceToHeader(folder, folder / "fw.bin");
  return 0;
}
