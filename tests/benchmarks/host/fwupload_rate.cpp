// fwupload's body rate and processor time, at each pace, on a model of real
// adapters (AdapterModel.cpp, preloaded into the program under test): what
// is written is queued in the driver and leaves it no sooner than L after
// its write and no sooner than the wire at 5760 B/s allows; the device
// receives each byte as it leaves. L = 1 ms is a USB adapter, L = 0 a UART.
//
// The reference, in the same run and under the same model: an oracle that
// knows the model (write a byte, sleep until the model takes it, check the
// count, repeat), started as a process of its own like fwupload, one thread
// a port. The three are taken in turns on the same virtual devices, which
// read without pacing of their own, so that their timing is the model's
// wire; each device times the body from its first byte to its last.
// Processor time is the whole process's, from start to exit, for all.
//
//   fwupload_rate_bench                            the figures
//   fwupload_rate_bench --oracle L_US FILE PORT...  the oracle, as the benchmark runs it
#include "tests/native/Child.h"
#include "tests/native/Folder.h"
#include "tests/native/PtyDevice.h"
#include "tests/native/Wait.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr double kWireRate = 57600.0 / 10;
constexpr auto kByteTime = std::chrono::nanoseconds(1'000'000'000 / 5760);
constexpr auto kSettle = 100ms;
constexpr int kRuns = 3;

// ---- The oracle --------------------------------------------------------------

std::chrono::nanoseconds Now() { return std::chrono::steady_clock::now().time_since_epoch(); }

void SleepUntil(std::chrono::nanoseconds when) {
  timespec until{static_cast<time_t>(when.count() / 1'000'000'000), static_cast<long>(when.count() % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
  }
}

// One port's exchange, with the model's arithmetic in place of waiting on
// the count: the settle, the header, the first answer, the body, the second.
class OracleLine {
 public:
  OracleLine(const std::string& port, std::chrono::nanoseconds latency)
      : fd_(open(port.c_str(), O_RDWR | O_NOCTTY)), latency_(latency) {
    termios settings{};
    tcgetattr(fd_, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B57600);
    tcsetattr(fd_, TCSANOW, &settings);
  }
  ~OracleLine() {
    if (fd_ >= 0) close(fd_);
  }

  bool Upload(const std::string& firmware) {
    if (fd_ < 0) return false;
    std::this_thread::sleep_for(kSettle);
    tcflush(fd_, TCIFLUSH);
    if (!Send(firmware.data(), kHeaderBytes) || !ReadAnswer()) return false;
    for (std::size_t i = kHeaderBytes; i < firmware.size(); ++i)
      if (!Send(&firmware[i], 1)) return false;
    return ReadAnswer();
  }

 private:
  // Writes, sleeps until the model has taken the bytes, and checks the count.
  bool Send(const char* bytes, std::size_t count) {
    if (write(fd_, bytes, count) != static_cast<ssize_t>(count)) return false;
    auto now = Now();
    for (std::size_t i = 0; i < count; ++i) taken_ = std::max(now + latency_, taken_ + kByteTime);
    SleepUntil(taken_);
    for (int pending = 1; pending != 0;)
      if (ioctl(fd_, TIOCOUTQ, &pending) != 0) return false;
    return true;
  }

  // The two bytes of an answer, the input count polled every millisecond as
  // the engine does.
  bool ReadAnswer() {
    for (int polls = 0; polls < 5000; ++polls) {
      std::this_thread::sleep_for(1ms);
      int pending = 0;
      if (ioctl(fd_, FIONREAD, &pending) != 0) return false;
      char answer[2];
      if (pending >= 2) return read(fd_, answer, 2) == 2;
    }
    return false;
  }

  int fd_;
  std::chrono::nanoseconds latency_;
  std::chrono::nanoseconds taken_{};
};

int OracleMain(int argc, char** argv) {
  if (argc < 5) return 64;
  std::chrono::microseconds latency(std::atoll(argv[2]));
  std::string firmware = ReadFile(argv[3]);
  std::atomic<bool> ok{true};
  std::vector<std::thread> threads;
  for (int i = 4; i < argc; ++i)
    threads.emplace_back([&, port = std::string(argv[i])] {
      prctl(PR_SET_TIMERSLACK, 1000, 0, 0, 0);  // as fwupload's run threads
      if (!OracleLine(port, latency).Upload(firmware)) ok = false;
    });
  for (auto& thread : threads) thread.join();
  return ok ? 0 : 1;
}

// ---- The benchmark -----------------------------------------------------------

struct Setting {
  const char* name;
  std::chrono::microseconds latency;
  std::size_t bodyBytes;
};

// The most a pace sending one byte a write can reach.
double ByteLimit(const Setting& setting) {
  if (setting.latency.count() == 0) return kWireRate;
  return std::min(kWireRate, 1e6 / static_cast<double>(setting.latency.count()));
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
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

// What one program did over the runs: every port's rate of every run, and
// each run's processor and wall time.
struct Figures {
  std::vector<double> rates;
  std::vector<double> cpuSeconds;
  std::vector<double> wallSeconds;
  int failures = 0;
};

// Virtual devices for one setting, and runs of a program on them under the
// model.
class Bench {
 public:
  // `deviceOptions`: more options for each device, given its index.
  Bench(const Setting& setting, int ports,
        const std::function<std::vector<std::string>(int)>& deviceOptions = [](int) {
          return std::vector<std::string>{};
        })
      : setting_(setting) {
    std::string bytes(kHeaderBytes + setting.bodyBytes, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    file_ = folder_ / "fw.bin";
    WriteFile(file_, bytes);
    for (int i = 0; i < ports; ++i) {
      std::vector<std::string> options{"--body-length", std::to_string(setting.bodyBytes), "--read-interval-ms", "1"};
      for (std::string& option : deviceOptions(i)) options.push_back(std::move(option));
      devices_.push_back(std::make_unique<PtyDevice>(folder_.Path(), "dev" + std::to_string(i), options));
      if (!devices_.back()->Ready()) return;
    }
    ready_ = true;
  }

  bool Ready() const { return ready_; }
  const std::string& File() const { return file_; }

  void RunOracle(Figures& figures) {
    std::vector<std::string> command{std::filesystem::read_symlink("/proc/self/exe"), "--oracle",
                                     std::to_string(setting_.latency.count()), file_};
    for (const auto& device : devices_) command.push_back(device->Port());
    Run(command, figures);
  }

  void RunFwupload(Figures& figures, const char* pace) {
    std::vector<std::string> command{FWUPLOAD, "--quiet", "--pace", pace, file_};
    for (const auto& device : devices_) command.insert(command.end(), {"-p", device->Port()});
    Run(command, figures);
  }

  // `command` under the model, its figures added to `figures`; `uploads`:
  // whether it updates the devices.
  void Run(const std::vector<std::string>& command, Figures& figures, bool uploads = true) {
    std::vector<std::string> arguments{"LD_PRELOAD=" FWU_ADAPTER_MODEL,
                                       "FWU_MODEL_LATENCY_US=" + std::to_string(setting_.latency.count())};
    arguments.insert(arguments.end(), command.begin(), command.end());
    auto start = std::chrono::steady_clock::now();
    Child child("/usr/bin/env", arguments, folder_ / "out", folder_ / "err");
    std::optional<int> status = child.Wait(300s);
    std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    bool complete = status == 0;
    if (uploads) {
      ++sessions_;
      for (const auto& device : devices_) complete = AwaitSessions(*device, sessions_) && complete;
    }
    if (!complete) {
      std::printf("  (%s did not complete: exit status %d)\n", command[0].c_str(), status.value_or(-1));
      ++figures.failures;
      return;
    }
    if (uploads)
      for (const auto& device : devices_) figures.rates.push_back(BodyRate(*device));
    figures.cpuSeconds.push_back(std::chrono::duration<double>(child.CpuTime()).count());
    figures.wallSeconds.push_back(wall.count());
  }

 private:
  const Setting& setting_;
  Folder folder_;
  std::string file_;
  std::vector<std::unique_ptr<PtyDevice>> devices_;
  std::size_t sessions_ = 0;
  bool ready_ = false;
};

double Lowest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Highest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void PrintFigures(const char* who, const Figures& figures, double limit) {
  double lowest = Lowest(figures.rates);
  double cpu = Median(figures.cpuSeconds);
  std::printf("  %-6s lowest port %5.0f B/s (%3.0f %%), median %5.0f B/s; processor %.3f s a run, %4.1f %% of a core%s\n",
              who, lowest, 100 * lowest / limit, Median(figures.rates), cpu, 100 * cpu / Median(figures.wallSeconds),
              figures.failures ? " (a run failed)" : "");
}

void Measure(const Setting& setting, int ports) {
  Bench bench(setting, ports);
  if (!bench.Ready()) return (void)std::puts("  the devices did not come up");
  Figures byte;
  Figures stream;
  Figures oracle;
  for (int run = 0; run < kRuns; ++run) {
    if (run % 2) bench.RunOracle(oracle);
    bench.RunFwupload(byte, "byte");
    bench.RunFwupload(stream, "stream");
    if (run % 2 == 0) bench.RunOracle(oracle);
  }
  double limit = ByteLimit(setting);
  std::printf("%s, %d port%s, %zu-byte body, %d runs each in turns:\n", setting.name, ports, ports > 1 ? "s" : "",
              setting.bodyBytes, kRuns);
  PrintFigures("byte", byte, limit);
  PrintFigures("stream", stream, kWireRate);
  PrintFigures("oracle", oracle, limit);
  double lowest = Lowest(byte.rates);
  double oracleLowest = Lowest(oracle.rates);
  std::printf("  byte's lowest port: %3.0f %% of its limit, %3.0f %% of the oracle's lowest (goal: >= 90 %% of the "
              "limit, or >= the oracle's)\n",
              100 * lowest / limit, oracleLowest > 0 ? 100 * lowest / oracleLowest : 0);
  std::printf("  stream's lowest port: %3.0f %% of the wire (goal: >= 95 %%); highest: %3.0f %% (never above 100 %%)\n",
              100 * Lowest(stream.rates) / kWireRate, 100 * Highest(stream.rates) / kWireRate);
  double oracleCpu = Median(oracle.cpuSeconds);
  double byteCpu = Median(byte.cpuSeconds);
  std::printf("  processor time: byte %.2f x the oracle's (goal <= 1.5), stream %.2f x byte's (goal <= 1)\n",
              oracleCpu > 0 ? byteCpu / oracleCpu : 0, byteCpu > 0 ? Median(stream.cpuSeconds) / byteCpu : 0);
  std::fflush(stdout);
}

// fwupload.exe on one port of the Wine bench of `winBuild` (started), under
// the same model: Wine's serial driver makes the writes and asks for the
// output count in the program's own process, where the model is preloaded.
// Wine's own start-up is measured apart, as a run of `fwupload.exe --version`.
void MeasureUnderWine(const Setting& setting, const std::string& winBuild) {
  const std::string com = "COM7";
  Bench bench(setting, 1, [&](int) { return std::vector<std::string>{"--link", winBuild + "/bench/ports/com7"}; });
  if (!bench.Ready()) return (void)std::puts("  the device did not come up");
  const std::string exe = winBuild + "/cli/fwupload.exe";
  const std::string wineRun = FWU_SOURCE_DIR "/scripts/wine-run.sh";
  Figures byte;
  Figures stream;
  Figures oracle;
  Figures startUp;
  for (int run = 0; run < kRuns; ++run) {
    bench.Run({wineRun, winBuild, exe, "--quiet", "--pace", "byte", "--port", com, "Z:" + bench.File()}, byte);
    bench.Run({wineRun, winBuild, exe, "--quiet", "--pace", "stream", "--port", com, "Z:" + bench.File()}, stream);
    bench.RunOracle(oracle);
    bench.Run({wineRun, winBuild, exe, "--version"}, startUp, false);
  }
  double limit = ByteLimit(setting);
  std::printf("%s, fwupload.exe under Wine, 1 port, %zu-byte body, %d runs each in turns:\n", setting.name,
              setting.bodyBytes, kRuns);
  PrintFigures("byte", byte, limit);
  PrintFigures("stream", stream, kWireRate);
  PrintFigures("oracle", oracle, limit);
  std::printf("  Wine's start-up and exit alone (fwupload.exe --version): processor %.3f s\n",
              Median(startUp.cpuSeconds));
  std::fflush(stdout);
}

}  // namespace

// FWU_WINE_BUILD: a Windows build folder whose Wine bench is running; adds
// fwupload.exe's figures under Wine.
int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--oracle") return OracleMain(argc, argv);
  const Setting settings[] = {{"L = 1 ms (a USB adapter; a byte a write: 1000 B/s at most)", 1000us, 3000},
                              {"L = 0 (a UART; the wire: 5760 B/s)", 0us, 12000}};
  for (const Setting& setting : settings)
    for (int ports : {1, 8, 32}) Measure(setting, ports);
  if (const char* winBuild = std::getenv("FWU_WINE_BUILD"))
    for (const Setting& setting : settings) MeasureUnderWine(setting, winBuild);
}
