// A station of 32 ports at full rate, with and without --publish to a
// Mosquitto on loopback: the messages a second the broker delivers to a
// subscriber of the whole line, and fwupload's and the broker's processor time
// in each case.
#include "tests/native/Broker.h"
#include "tests/native/Child.h"
#include "tests/native/Folder.h"
#include "tests/native/PortLinks.h"
#include "tests/native/PtyDevice.h"

#include <signal.h>

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kPorts = 32;
constexpr std::size_t kBodyBytes = 256 * 1024;

using Seconds = std::chrono::duration<double>;

struct Figures {
  Seconds wall{};
  Seconds cpu{};
  Seconds brokerCpu{};
  bool ended = false;
};

Figures Station(const Folder& folder, const Broker& broker, const std::string& name,
                const std::vector<std::string>& publishing) {
  PortLinks ports(folder.Path(), name);
  std::vector<std::unique_ptr<PtyDevice>> boards;
  for (int i = 0; i < kPorts; ++i)
    boards.push_back(std::make_unique<PtyDevice>(folder.Path(), name + std::to_string(i),
                                                 std::vector<std::string>{"--body-length", std::to_string(kBodyBytes)}));
  std::vector<std::string> arguments{"--watch", "--present", "--quiet", "--count", std::to_string(kPorts), "-p",
                                     ports.Pattern(), "--record", folder / (name + ".sqlite")};
  arguments.insert(arguments.end(), publishing.begin(), publishing.end());
  arguments.push_back(folder / "fw.bin");
  auto started = std::chrono::steady_clock::now();
  auto brokerBefore = broker.CpuTime();
  Child station(FWUPLOAD, arguments, folder / (name + ".out"), folder / (name + ".err"));
  for (int i = 0; i < kPorts; ++i) ports.Plug("usb" + std::to_string(i), boards[i]->Port());
  Figures figures;
  figures.ended = station.Wait(300s) == 0;
  figures.wall = std::chrono::steady_clock::now() - started;
  figures.cpu = station.CpuTime();
  std::this_thread::sleep_for(1s);  // the last messages delivered
  figures.brokerCpu = broker.CpuTime() - brokerBefore;
  return figures;
}

}  // namespace

int main() {
  Folder folder;
  WriteFile(folder / "fw.bin", std::string(16 + kBodyBytes, '\x5A'));
  Broker broker(folder / "broker");
  if (!broker.Running()) {
    std::puts("no broker");
    return 1;
  }
  Subscriber line(broker, folder / "line", "line/#");
  line.Subscribed();
  Figures plain = Station(folder, broker, "plain", {});
  Figures published = Station(folder, broker, "published", {"--publish", broker.Url("line"), "--station", "bench"});
  std::size_t messages = line.Messages().size();
  std::printf("%d ports at full rate, %zu-byte bodies:\n", kPorts, kBodyBytes);
  std::printf("  without --publish: %.2f s, fwupload %.3f s of processor%s\n", plain.wall.count(), plain.cpu.count(),
              plain.ended ? "" : "  [did not end with 0]");
  std::printf("  with --publish:    %.2f s, fwupload %.3f s of processor (%+.3f s)%s\n", published.wall.count(),
              published.cpu.count(), (published.cpu - plain.cpu).count(), published.ended ? "" : "  [did not end with 0]");
  std::printf("  the broker delivered %zu messages to a subscriber of the line: %.0f a second\n", messages,
              messages / published.wall.count());
  std::printf("  the broker's processor time: %.3f s with --publish, %.3f s without\n", published.brokerCpu.count(),
              plain.brokerCpu.count());
  return 0;
}
