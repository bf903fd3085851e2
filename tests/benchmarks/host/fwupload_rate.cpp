// fwupload's body rate against virtual devices on ptys. The device times the
// body from its first byte to its last.
//  - One port, unpaced: fwupload next to a minimal loop in the same run
//    (write one byte, wait until the kernel reports nothing pending, repeat),
//    taken in turns; medians.
//  - Eight ports at once, each device reading at 57600 baud: each port's
//    rate against the line's 5760 bytes a second, and fwupload's processor
//    time against its wall time, next to that of eight minimal loops on
//    threads of one process (the floor the line's system calls set).
#include "tests/native/Child.h"
#include "tests/native/Folder.h"
#include "tests/native/PtyDevice.h"
#include "tests/native/Wait.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr int kRuns = 40;
constexpr double kLineRate = 57600.0 / 10;
constexpr int kTrayPorts = 8;
constexpr std::size_t kTrayBodyBytes = 32 * 1024;

std::string WriteFirmware(const Folder& folder, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  WriteFile(folder / "fw.bin", bytes);
  return folder / "fw.bin";
}

// The body rate of the device's latest session, in bytes a second.
double BodyRate(const PtyDevice& device) {
  long long bytes = 0;
  long long micros = 0;
  if (std::sscanf(device.LastEvent("body-time ").c_str(), "body-time %lld %lld", &bytes, &micros) != 2 || micros <= 0)
    return 0;
  return static_cast<double>(bytes - 1) * 1e6 / static_cast<double>(micros);
}

bool AwaitSessions(const PtyDevice& device, std::size_t sessions) {
  return WaitUntil([&] {
    auto events = device.Events();
    return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [](const std::string& e) {
             return e.rfind("done ", 0) == 0;
           })) >= sessions;
  });
}

// The two bytes of an answer, waited for by polling the input count.
bool ReadAnswer(int fd) {
  bool complete = WaitUntil(
      [&] {
        int pending = 0;
        return ioctl(fd, FIONREAD, &pending) == 0 && pending >= 2;
      },
      6s);
  char answer[2];
  return complete && read(fd, answer, 2) == 2;
}

// The minimal loop: the same exchange with nothing but the system calls.
bool MinimalLoop(const std::string& port, const std::string& firmware) {
  int fd = open(port.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return false;
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B57600);
  tcsetattr(fd, TCSANOW, &settings);
  bool ok = write(fd, firmware.data(), kHeaderBytes) == kHeaderBytes && ReadAnswer(fd);
  for (std::size_t i = kHeaderBytes; ok && i < firmware.size(); ++i) {
    ok = write(fd, &firmware[i], 1) == 1;
    for (int pending = 1; ok && pending != 0;) ok = ioctl(fd, TIOCOUTQ, &pending) == 0;
  }
  ok = ok && ReadAnswer(fd);
  close(fd);
  return ok;
}

double ThreadCpuMicros() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Returns the minimal loop's processor time a body byte, in microseconds.
double OnePortUnpaced() {
  Folder folder;
  std::string file = WriteFirmware(folder, 64 * 1024);
  std::string firmware = ReadFile(file);
  PtyDevice device(folder.Path(), "dev", {"--body-length", std::to_string(firmware.size() - kHeaderBytes),
                                          "--read-interval-ms", "1"});
  if (!device.Ready()) {
    std::puts("the device did not come up");
    return 0;
  }
  std::vector<double> fwupload;
  std::vector<double> loop;
  // Processor time a body byte costs: the whole process (start, waits and
  // all) for fwupload, the calling thread for the loop.
  std::vector<double> fwuploadCpu;
  std::vector<double> loopCpu;
  const double bodyBytes = static_cast<double>(firmware.size() - kHeaderBytes);
  std::size_t sessions = 0;
  auto withFwupload = [&] {
    Child child(FWUPLOAD, {"--quiet", "-p", device.Port(), file}, folder / "out", folder / "err");
    if (child.Wait(60s) != 0 || !AwaitSessions(device, ++sessions)) return;
    fwupload.push_back(BodyRate(device));
    fwuploadCpu.push_back(std::chrono::duration<double, std::micro>(child.CpuTime()).count() / bodyBytes);
  };
  auto withLoop = [&] {
    double before = ThreadCpuMicros();
    if (!MinimalLoop(device.Port(), firmware)) return;
    double cpu = ThreadCpuMicros() - before;
    if (!AwaitSessions(device, ++sessions)) return;
    loop.push_back(BodyRate(device));
    loopCpu.push_back(cpu / bodyBytes);
  };
  // In turns, each first every other time.
  for (int run = 0; run < kRuns; ++run) {
    if (run % 2) withLoop();
    withFwupload();
    if (run % 2 == 0) withLoop();
  }
  double ours = Median(fwupload);
  double minimal = Median(loop);
  std::printf("one port, unpaced, 64 KiB, median of %zu/%zu runs:\n", fwupload.size(), loop.size());
  std::printf("  fwupload      %9.0f B/s  %5.2f us processor time a byte\n", ours, Median(fwuploadCpu));
  std::printf("  minimal loop  %9.0f B/s  %5.2f us processor time a byte\n", minimal, Median(loopCpu));
  std::printf("  ratio         %9.1f %% (goal >= 95 %%)\n", minimal > 0 ? 100 * ours / minimal : 0);
  return Median(loopCpu);
}

// Eight minimal loops on threads of a child process of their own: its
// processor time over its wall time, in percent of one core.
double MinimalLoopsCpu(const std::vector<std::string>& ports, const std::string& firmware) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<std::thread> loops;
    for (const std::string& port : ports) loops.emplace_back([&, port] { MinimalLoop(port, firmware); });
    for (auto& loop : loops) loop.join();
    _exit(0);
  }
  rusage usage{};
  int status = 0;
  wait4(pid, &status, 0, &usage);
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return 100 * cpu / wall.count();
}

// `loopCpuPerByte`: the minimal loop's processor time a body byte, in
// microseconds, for the share of a core the body's system calls alone take.
void EightPortsPaced(double loopCpuPerByte) {
  Folder folder;
  std::string file = WriteFirmware(folder, kTrayBodyBytes + kHeaderBytes);
  std::vector<std::unique_ptr<PtyDevice>> devices;
  std::vector<std::string> ports;
  for (int i = 0; i < kTrayPorts; ++i) {
    devices.push_back(std::make_unique<PtyDevice>(
        folder.Path(), "dev" + std::to_string(i),
        std::vector<std::string>{"--body-length", std::to_string(kTrayBodyBytes), "--pace-baud", "57600"}));
    if (!devices.back()->Ready()) return (void)std::puts("a device did not come up");
    ports.push_back(devices.back()->Port());
  }
  std::vector<std::string> arguments{"--quiet", file};
  for (const std::string& port : ports) arguments.insert(arguments.end(), {"-p", port});
  auto start = std::chrono::steady_clock::now();
  Child child(FWUPLOAD, arguments, folder / "out", folder / "err");
  std::optional<int> status = child.Wait(120s);
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  std::printf("eight ports at once, each paced at 57600 baud, 32 KiB body (exit status %d):\n", status.value_or(-1));
  for (const auto& device : devices) {
    double rate = BodyRate(*device);
    std::printf("  %-5s %6.0f B/s  %5.1f %% of 5760 B/s (goal >= 95 %%)\n",
                device->Port().substr(device->Port().rfind('/') + 1).c_str(), rate, 100 * rate / kLineRate);
  }
  std::chrono::duration<double> cpu = child.CpuTime();
  std::printf("  fwupload's processor time %.3f s over %.2f s: %.1f %% of one core (goal < 10 %%)\n", cpu.count(),
              wall.count(), 100 * cpu.count() / wall.count());
  for (const auto& device : devices) AwaitSessions(*device, 1);
  std::printf("  the body's write and queue poll a byte alone, at the minimal loop's %.2f us: %.1f %% of one core\n",
              loopCpuPerByte, 100 * loopCpuPerByte * 1e-6 * kTrayPorts * kTrayBodyBytes / wall.count());
  std::printf("  eight minimal loops in one process: %.1f %% of one core\n", MinimalLoopsCpu(ports, ReadFile(file)));
}

}  // namespace

int main() {
  double loopCpuPerByte = OnePortUnpaced();
  EightPortsPaced(loopCpuPerByte);
}
