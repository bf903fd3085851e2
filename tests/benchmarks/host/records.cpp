// The records, in figures, on the machine's disk (a folder under /tmp).
//  - Cost per run: committing one run's record, as a station does at each
//    result, median and worst over 1000 runs (goal: under 10 ms); and eight
//    runs that ended together, in the one commit a station makes of them.
//  - fwupload --history --summary over 100,000 generated records, the whole
//    program's time (goal: under 1 s).
//  - The file's size per record.
#include "records/Records.h"
#include "tests/native/Child.h"
#include "tests/native/Folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;
using fwu::records::RecordFile;

fwu::records::Run Example(std::int64_t invocation, int i) {
  fwu::records::Run run;
  run.invocationId = invocation;
  run.startedAt = fwu::records::UtcTime(std::chrono::system_clock::now() - std::chrono::seconds(100000 - i));
  run.endedAt = run.startedAt;
  run.port = std::string("/dev/ttyUSB").append(std::to_string(i % 8));
  run.usbVendor = "0403";
  run.usbProduct = "6001";
  run.usbSerial = std::string("A").append(std::to_string(100000 + i));
  run.usbLocation = std::string("1-1.").append(std::to_string(i % 8));
  run.filePath = std::string("/srv/firmware/trx-").append(std::to_string(i / 20000)).append(".fw");
  run.fileSize = 32768;
  run.fileSha256 = std::string(63, 'a') + static_cast<char>('0' + i / 20000);
  run.outcome = i % 50 ? 0 : 4;
  run.outcomeText = i % 50 ? "Device update!" : "No correct answer device!";
  run.reason = i % 50 ? "" : "the device answered \"NO\"";
  run.bytes = 32752;
  run.seconds = 5.7 + (i % 7) * 0.01;
  run.pace = "byte";
  run.host = "line-3";
  run.version = "1.0.0";
  return run;
}

std::int64_t Begin(RecordFile& file) {
  return *file.Begin({.station = "line-3", .host = "line-3", .user = "op", .commandLine = "fwupload --watch trx.fw",
                      .filePath = "/srv/firmware/trx.fw", .fileSha256 = std::string(64, 'a'),
                      .startedAt = fwu::records::UtcTime(std::chrono::system_clock::now()), .version = "1.0.0"})
              .value;
}

void CostPerRun(const Folder& folder) {
  auto file = RecordFile::Open(folder / "cost.sqlite", RecordFile::Access::kWrite);
  std::int64_t invocation = Begin(*file.value);
  std::vector<double> costs;
  for (int i = 0; i < 1000; ++i) {
    fwu::records::Run run = Example(invocation, i);
    auto start = Clock::now();
    file.value->Add({&run, 1});
    costs.push_back(Milliseconds(Clock::now() - start).count());
  }
  std::sort(costs.begin(), costs.end());
  std::printf("one run's record: median %.2f ms, worst %.2f ms over %zu runs (goal: under 10 ms)\n",
              costs[costs.size() / 2], costs.back(), costs.size());
  std::vector<double> eights;
  for (int round = 0; round < 50; ++round) {
    std::vector<fwu::records::Run> runs;
    for (int i = 0; i < 8; ++i) runs.push_back(Example(invocation, i));
    auto start = Clock::now();
    file.value->Add(runs);
    eights.push_back(Milliseconds(Clock::now() - start).count());
  }
  std::sort(eights.begin(), eights.end());
  std::printf("eight runs ended together, one commit: median %.2f ms, worst %.2f ms over %zu rounds\n",
              eights[eights.size() / 2], eights.back(), eights.size());
}

void Summary(const Folder& folder) {
  constexpr int kRecords = 100000;
  std::string path = folder / "many.sqlite";
  {
    auto file = RecordFile::Open(path, RecordFile::Access::kWrite);
    std::int64_t invocation = Begin(*file.value);
    std::vector<fwu::records::Run> runs;
    for (int i = 0; i < kRecords; ++i) runs.push_back(Example(invocation, i));
    file.value->Add(runs);
  }
  struct stat size {};
  stat(path.c_str(), &size);
  std::printf("size: %.0f bytes a record (%d records, %lld bytes)\n", double(size.st_size) / kRecords, kRecords,
              static_cast<long long>(size.st_size));
  std::vector<double> times;
  for (int round = 0; round < 3; ++round) {
    auto start = Clock::now();
    Child history(FWUPLOAD, {"--history", "--summary", "--record", path}, folder / "summary.out", folder / "summary.err");
    history.Wait(std::chrono::seconds(60));
    times.push_back(Milliseconds(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("fwupload --history --summary over %d records: median %.0f ms of 3 (goal: under 1000 ms)\n", kRecords,
              times[1]);
  Child listing(FWUPLOAD, {"--history", "--record", path}, folder / "list.out", folder / "list.err");
  auto start = Clock::now();
  listing.Wait(std::chrono::seconds(60));
  std::printf("fwupload --history over %d records into a file: %.0f ms\n", kRecords,
              Milliseconds(Clock::now() - start).count());
}

}  // namespace

int main() {
  Folder folder;
  CostPerRun(folder);
  Summary(folder);
  return 0;
}
