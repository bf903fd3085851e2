// fwupload's records, as a line relies on them: real fwupload, real SQLite
// files, virtual devices on ptys.
#include "records/Schema.h"
#include "records/Sqlite.h"
#include "tests/cli/FwuploadFixture.h"
#include "tests/native/OutputPipe.h"
#include "tests/native/PortLinks.h"
#include "tests/native/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using fwu::records::UniqueDatabase;

namespace {

using Table = std::vector<std::map<std::string, std::string>>;

// The rows `sql` gives, each column's text by name ("NULL" for null).
Table Query(const std::string& file, const std::string& sql) {
  sqlite3* opened = nullptr;
  sqlite3_open_v2(file.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
  UniqueDatabase db(opened);
  sqlite3_busy_timeout(opened, 10000);
  Table rows;
  char* error = nullptr;
  sqlite3_exec(
      opened, sql.c_str(),
      [](void* table, int count, char** values, char** names) {
        auto& row = static_cast<Table*>(table)->emplace_back();
        for (int i = 0; i < count; ++i) row[names[i]] = values[i] ? values[i] : "NULL";
        return 0;
      },
      &rows, &error);
  EXPECT_EQ(error, nullptr) << error;
  sqlite3_free(error);
  return rows;
}

std::string Sha256sum(const std::string& file) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("sha256sum '" + file + "'").c_str(), "r"), pclose);
  char digest[65] = {};
  EXPECT_EQ(std::fread(digest, 1, 64, pipe.get()), 64u);
  return digest;
}

class Records : public Fwupload {
 protected:
  Records() { Firmware(2016); }
  std::string record = folder / "records.sqlite";
  PortLinks links{folder.Path(), "ports"};

  // A station on the ports folder with `options`.
  std::unique_ptr<Child> Station(std::vector<std::string> options, const std::string& name = "run") {
    options.insert(options.begin(), {"--watch", "-p", links.Pattern()});
    options.push_back(folder / "fw.bin");
    return Start(options, name);
  }
  bool Shows(const std::string& line, const std::string& name = "run") {
    return WaitUntil([&] {
      auto out = LinesOf(ReadFile(folder / (name + ".out")));
      return std::find(out.begin(), out.end(), line) != out.end();
    });
  }
  std::vector<std::string> History(std::vector<std::string> options) {
    options.insert(options.begin(), {"--history", "--record", record});
    Ran ran = Run(options);
    EXPECT_EQ(ran.status, 0) << (ran.err.empty() ? "" : ran.err[0]);
    return ran.out;
  }
};

TEST_F(Records, EachRunAndTheInvocationAreRecordedWithTheirFields) {
  PtyDevice& good = Device();
  PtyDevice& wrong = Device({"--first-answer", "4E4F"});
  Ran ran = Run({"--quiet", "--record", record, "-p", good.Port(), "-p", wrong.Port(), folder / "fw.bin"});
  ASSERT_EQ(ran.status, 4);

  Table runs = Query(record, "SELECT * FROM runs ORDER BY id");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0]["port"], good.Port());
  EXPECT_EQ(runs[0]["outcome"], "0");
  EXPECT_EQ(runs[0]["outcome_text"], "Device update!");
  EXPECT_EQ(runs[0]["bytes"], "2000");
  EXPECT_EQ(runs[1]["port"], wrong.Port());
  EXPECT_EQ(runs[1]["outcome"], "4");
  EXPECT_EQ(runs[1]["outcome_text"], "No correct answer device!");
  for (auto& run : runs) {
    EXPECT_EQ(run["file_sha256"], Sha256sum(folder / "fw.bin"));
    EXPECT_EQ(run["file_path"], folder / "fw.bin");
    EXPECT_EQ(run["file_size"], "2016");
    EXPECT_EQ(run["usb_serial"], "NULL");  // a pty has none
    EXPECT_EQ(run["pace"], "byte");
    EXPECT_EQ(run["invocation_id"], "1");
    EXPECT_LE(run["started_at"], run["ended_at"]);
    EXPECT_EQ(run["started_at"].size(), std::string("2026-12-09T08:30:00.123Z").size());
  }
  Table invocations = Query(record, "SELECT * FROM invocations");
  ASSERT_EQ(invocations.size(), 1u);
  EXPECT_EQ(invocations[0]["updated"], "1");
  EXPECT_EQ(invocations[0]["failed"], "1");
  EXPECT_EQ(invocations[0]["exit_status"], "4");
  EXPECT_NE(invocations[0]["ended_at"], "NULL");
  EXPECT_NE(invocations[0]["command_line"].find("--record"), std::string::npos);
  EXPECT_EQ(Query(record, "PRAGMA journal_mode")[0]["journal_mode"], "wal");
}

TEST_F(Records, AStationRecordsIntoTheUsersStateFolderByDefaultAndSaysWhere) {
  std::string state = folder / "state";  // the fixture's XDG_STATE_HOME
  auto station = Station({"--present", "--count", "3", "--json"});
  for (int i = 0; i < 3; ++i) links.Plug("usb" + std::to_string(i), Device().Port());
  ASSERT_EQ(Finish(*station).status, 0);
  std::string file = state + "/fwupload/records.sqlite";
  EXPECT_EQ(Query(file, "SELECT count(*) AS n FROM runs WHERE outcome = 0")[0]["n"], "3");
  auto first = nlohmann::json::parse(LinesOf(ReadFile(folder / "run.out")).at(0));
  EXPECT_EQ(first, (nlohmann::json{{"event", "station"}, {"record", file}, {"sha256", Sha256sum(folder / "fw.bin")}}));
  struct stat made {};
  ASSERT_EQ(stat((state + "/fwupload").c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0700u);
}

// A kill at any moment: the file stays sound, and every result line that was
// printed has its record.
TEST_F(Records, AKillAtRandomMomentsLeavesASoundFileWithEveryPrintedResultRecorded) {
  Firmware(12016);
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 8; ++round) {
    std::string name = "kill" + std::to_string(round);
    auto station = Station({"--quiet", "--present", "--record", record}, name);
    links.Plug("fast", Device().Port());
    links.Plug("slow", Device({"--pace-baud", "57600"}).Port());
    std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 800));
    station->Signal(SIGKILL);
    ASSERT_EQ(station->Wait(), -SIGKILL);
    EXPECT_EQ(Query(record, "PRAGMA integrity_check")[0]["integrity_check"], "ok");
    for (const std::string& line : LinesOf(ReadFile(folder / (name + ".out")))) {
      std::string port = line.substr(0, line.find(": "));
      EXPECT_EQ(Query(record, "SELECT id FROM runs WHERE outcome = 0 AND port = '" + port +
                                  "' AND invocation_id = (SELECT max(id) FROM invocations)")
                    .size(),
                1u)
          << line;
    }
    links.Unplug("fast");
    links.Unplug("slow");
  }
  EXPECT_EQ(Query(record, "SELECT count(*) AS n FROM invocations WHERE ended_at IS NULL")[0]["n"], "8");
}

TEST_F(Records, TwoProcessesOfEightPortsEachWriteOneFileAtOnce) {
  std::vector<std::string> one{"--quiet", "--record", record, folder / "fw.bin"};
  std::vector<std::string> two = one;
  for (int i = 0; i < 8; ++i) {
    one.insert(one.end(), {"-p", Device().Port()});
    two.insert(two.end(), {"-p", Device().Port()});
  }
  auto first = Start(one, "one");
  auto second = Start(two, "two");
  EXPECT_EQ(Finish(*first, "one").status, 0);
  EXPECT_EQ(Finish(*second, "two").status, 0);
  EXPECT_EQ(Query(record, "SELECT count(*) AS n FROM runs WHERE outcome = 0")[0]["n"], "16");
  EXPECT_EQ(Query(record, "SELECT count(*) AS n FROM invocations WHERE exit_status = 0")[0]["n"], "2");
}

// Root writes into any folder: the test runs fwupload as nobody there.
TEST_F(Records, AFileThatCannotBeWrittenEndsWith74BeforeAnyPortIsOpened) {
  PtyDevice& device = Device();
  std::string readOnly = folder / "read-only";
  mkdir(readOnly.c_str(), 0555);
  std::string fwupload = FwuploadForAnotherUser();
  std::string notDatabase = folder / "notes.txt";
  WriteFile(notDatabase, "line 1\nline 2\n");
  chmod(notDatabase.c_str(), 0666);
  std::string readOnlyFile = folder / "read-only.sqlite";
  ASSERT_TRUE(fwu::records::RecordFile::Open(readOnlyFile, fwu::records::RecordFile::Access::kWrite).value);
  chmod(readOnlyFile.c_str(), 0444);
  const struct {
    std::string file;
    std::string reason;
  } cases[] = {{readOnly + "/records.sqlite", "unable to open database file"},
               {notDatabase, "file is not a database"},
               {readOnlyFile, "the file is read-only here"},
               {folder / "missing/records.sqlite", "its folder does not exist"}};
  for (const auto& [file, reason] : cases) {
    std::vector<std::string> arguments{"-p", device.Port(), "--record", file, folder / "fw.bin"};
    Child child(fwupload, arguments, [&] {
      int err = open((folder / "run.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      return err >= 0 && dup2(err, STDERR_FILENO) >= 0 && (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0));
    });
    EXPECT_EQ(child.Wait(), 74);
    EXPECT_EQ(ReadFile(folder / "run.err"), "fwupload: cannot record: " + file + ": " + reason + "\n");
  }
  EXPECT_EQ(ReadFile(notDatabase), "line 1\nline 2\n");
  EXPECT_EQ(device.Log(), "");
}

// A file size limit stands for a full disk: the first failed commit ends the
// station's taking of boards.
TEST_F(Records, AStationWhoseRecordsStopFittingTakesNoMoreBoardsAndEndsWith74) {
  Ran created = Run({"--quiet", "--record", record, "-p", Device().Port(), folder / "fw.bin"});
  ASSERT_EQ(created.status, 0);
  std::vector<std::string> arguments{"--watch", "--quiet", "--present", "-p", links.Pattern(), "--record", record,
                                     folder / "fw.bin"};
  Child station(FWUPLOAD, arguments, [&] {
    int out = open((folder / "run.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open((folder / "run.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    rlimit limit{48 * 1024, 48 * 1024};
    return out >= 0 && err >= 0 && dup2(out, 1) >= 0 && dup2(err, 2) >= 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  int board = 0;
  for (;; ++board) {
    ASSERT_LT(board, 40) << "the records never stopped fitting";
    std::string port = links.Plug("usb" + std::to_string(board), Device().Port());
    ASSERT_TRUE(WaitUntil([&] { return LinesOf(ReadFile(folder / "run.out")).size() == std::size_t(board) + 1; }));
    std::string line = LinesOf(ReadFile(folder / "run.out")).back();
    if (line.find("not recorded: ") != std::string::npos) break;
  }
  PtyDevice& late = Device();
  links.Plug("late", late.Port());
  EXPECT_EQ(station.Wait(), 74);
  EXPECT_EQ(late.Log(), "");
  EXPECT_EQ(Query(record, "SELECT count(*) AS n FROM runs")[0]["n"], std::to_string(board + 1));
  EXPECT_NE(ReadFile(folder / "run.err").find("the station takes no more boards"), std::string::npos);
}

class RecordedHistory : public Records {
 protected:
  // Three runs: two updated (serials A7F3 and B001), one failed with a
  // reason that holds a comma and a quote, under two firmware files.
  RecordedHistory() {
    Ran ran = Run({"--quiet", "--record", record, "-p", Device().Port(), folder / "fw.bin"});
    EXPECT_EQ(ran.status, 0);
    sqlite3* opened = nullptr;
    sqlite3_open(record.c_str(), &opened);
    UniqueDatabase db(opened);
    EXPECT_EQ(fwu::records::Execute(opened, R"sql(
      UPDATE runs SET usb_serial = 'A7F3', started_at = '2020-01-08T10:00:00.000Z', seconds = 2.0;
      INSERT INTO runs SELECT NULL, invocation_id, '2020-01-09T10:00:00.000Z', ended_at, '/dev/ttyUSB1', usb_vendor,
        usb_product, 'B001', usb_location, '/lab/fw-2.bin', file_size, 'abcdef' || file_sha256, outcome, outcome_text,
        reason, bytes, 4.0, pace, host, version, published_at FROM runs;
      INSERT INTO runs SELECT NULL, invocation_id, '2020-01-09T11:00:00.000Z', ended_at, '/dev/ttyUSB2', usb_vendor,
        usb_product, usb_serial, usb_location, file_path, file_size, file_sha256, 4, 'No correct answer device!',
        'answered "NO", twice', 0, 0.5, pace, host, version, published_at FROM runs WHERE id = 1;
    )sql"),
              "");
  }
  static std::string PortOf(const std::string& line) { return line.substr(26, line.find("  ", 26) - 26); }
};

TEST_F(RecordedHistory, EachFilterSelectsItsRunsOldestFirst) {
  std::string fw = folder / "fw.bin";
  auto all = History({});
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2], "2020-01-09T11:00:00.000Z  /dev/ttyUSB2  A7F3  ERROR:4 No correct answer device!: answered "
                    "\"NO\", twice  0.500 s  " +
                        Sha256sum(fw).substr(0, 12));
  EXPECT_EQ(History({"--since", "2020-01-09"}).size(), 2u);
  EXPECT_EQ(History({"--since", "2020-01-09T10:30Z"}).size(), 1u);
  EXPECT_EQ(History({"--until", "2020-01-09T10:00:00.000+00:00"}).size(), 1u);
  EXPECT_EQ(History({"--since", "1h"}).size(), 0u);
  EXPECT_EQ(PortOf(History({"--port", "ttyUSB1"}).at(0)), "/dev/ttyUSB1");
  EXPECT_EQ(History({"--port", "/dev/ttyUSB*"}).size(), 2u);
  EXPECT_EQ(History({"--serial", "A7F3"}).size(), 2u);
  EXPECT_EQ(History({"--sha256", "ABCDEF"}).size(), 1u);
  EXPECT_EQ(PortOf(History({"--failed"}).at(0)), "/dev/ttyUSB2");
  EXPECT_EQ(Run({"--history", "--record", record, "--since", "yesterday-ish"}).status, 64);
}

TEST_F(RecordedHistory, CsvAndJsonKeepEveryFieldWhole) {
  auto csv = History({"--csv", "--failed"});
  ASSERT_EQ(csv.size(), 2u);
  // An RFC 4180 reader: Python's.
  WriteFile(folder / "out.csv", ReadFile(folder / "run.out"));
  std::unique_ptr<FILE, int (*)(FILE*)> python(
      popen(("python3 -c 'import csv,sys; r=list(csv.DictReader(open(sys.argv[1], newline=\"\"))); "
             "print(len(r), r[0][\"reason\"], r[0][\"outcome\"], r[0][\"usb_vendor\"] == \"\")' " +
             folder / "out.csv")
                .c_str(),
            "r"),
      pclose);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, python.get()), nullptr);
  EXPECT_EQ(std::string(line), "1 answered \"NO\", twice 4 True\n");
  auto json = nlohmann::json::parse(History({"--json", "--serial", "B001"}).at(0));
  EXPECT_EQ(json["file_path"], "/lab/fw-2.bin");
  EXPECT_EQ(json["station"], json["host"]);
  EXPECT_TRUE(json["published_at"].is_null());
}

TEST_F(RecordedHistory, SummaryCountsPerFirmware) {
  auto summary = History({"--summary"});
  ASSERT_EQ(summary.size(), 3u);
  EXPECT_EQ(summary[0], Sha256sum(folder / "fw.bin").substr(0, 12) +
                            "  fw.bin  2 runs: 1 updated, 1 failed; median 2.000 s, longest 2.000 s");
  EXPECT_EQ(summary[1], "  1  No correct answer device!: answered \"NO\", twice");
  EXPECT_EQ(summary[2].substr(12), "  fw-2.bin  1 runs: 1 updated, 0 failed; median 4.000 s, longest 4.000 s");
  auto json = nlohmann::json::parse(History({"--summary", "--json", "--since", "2020-01-09T10:30Z"}).at(0));
  EXPECT_EQ(json["runs"], 1);
  EXPECT_EQ(json["failures"][0]["runs"], 1);
  EXPECT_TRUE(json["median_seconds"].is_null());
}

// A reader that stopped holds nothing a writer waits for.
TEST_F(RecordedHistory, AStoppedReaderKeepsNoWriterWaiting) {
  OutputPipe pipe(true);
  std::vector<std::string> arguments{"--history", "--record", record};
  Child reader(FWUPLOAD, arguments, [&] { return pipe.BecomeStandardOutput(); });
  pipe.CloseWriteEnd();
  EXPECT_FALSE(reader.Wait(500ms));
  Ran ran = Run({"--quiet", "--record", record, "-p", Device().Port(), folder / "fw.bin"});
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(Query(record, "SELECT count(*) AS n FROM runs")[0]["n"], "4");
  pipe.CloseReadEnd();
  EXPECT_EQ(reader.Wait(), 0);
}

// The steps of a later version, as a later fwupload would bring.
TEST(RecordSchema, AnOlderFileIsBroughtForwardAndANewerOneRefused) {
  Folder folder;
  std::string file = folder / "records.sqlite";
  auto opened = fwu::records::RecordFile::Open(file, fwu::records::RecordFile::Access::kWrite);
  ASSERT_TRUE(opened.value) << opened.problem;
  ASSERT_TRUE(opened.value->Begin({.station = "s"}).value);
  opened.value.reset();

  sqlite3* handle = nullptr;
  sqlite3_open(file.c_str(), &handle);
  UniqueDatabase db(handle);
  std::vector<fwu::records::SchemaStep> later(fwu::records::SchemaSteps().begin(), fwu::records::SchemaSteps().end());
  later.push_back({2, "ALTER TABLE invocations ADD COLUMN line TEXT; UPDATE invocations SET line = 'A'"});
  EXPECT_EQ(fwu::records::BringForward(handle, later), "");
  EXPECT_EQ(Query(file, "SELECT station, line FROM invocations"), (Table{{{"station", "s"}, {"line", "A"}}}));
  EXPECT_EQ(Query(file, "PRAGMA user_version")[0]["user_version"], "2");

  auto refused = fwu::records::RecordFile::Open(file, fwu::records::RecordFile::Access::kWrite);
  EXPECT_FALSE(refused.value);
  EXPECT_EQ(refused.problem, file + ": its records are of schema version 2, newer than this fwupload knows (1): use "
                                    "the newer fwupload that wrote them");
}

}  // namespace
