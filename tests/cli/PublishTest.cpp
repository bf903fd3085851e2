// fwupload --publish to a real Mosquitto on loopback, with stations on
// virtual devices: what the line's dashboards and systems read.
#include "tests/cli/FwuploadFixture.h"
#include "tests/native/Broker.h"
#include "tests/native/PortLinks.h"
#include "tests/native/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

using namespace std::chrono_literals;
using Json = nlohmann::json;

namespace {

class Publish : public Fwupload {
 protected:
  Publish() { Firmware(16 + 6000); }
  // A station on the ports folder, publishing to the broker as `station`.
  std::unique_ptr<Child> Station(const std::string& station, std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"--watch", "--quiet", "--present", "-p", links.Pattern(), "--record",
                                     folder / "records.sqlite", "--publish", broker.Url("line"), "--station", station});
    options.push_back(folder / "fw.bin");
    return Start(options, TopicLevelOf(station));
  }
  static std::string TopicLevelOf(std::string name) {
    for (std::size_t at; (at = name.find('/')) != std::string::npos;) name.replace(at, 1, "%2F");
    return name;
  }
  static std::vector<Json> Payloads(const std::vector<Message>& messages) {
    std::vector<Json> payloads;
    for (const Message& message : messages)
      payloads.push_back(message.payload.empty() ? Json() : Json::parse(message.payload));
    return payloads;
  }
  // The states a port's messages went through, each once in a row.
  static std::vector<std::string> States(const std::vector<Message>& messages) {
    std::vector<std::string> states;
    for (const Json& payload : Payloads(messages)) {
      std::string state = payload.is_null() ? "cleared" : payload["state"].get<std::string>();
      if (states.empty() || states.back() != state) states.push_back(state);
    }
    return states;
  }

  Broker broker{folder / "broker"};
  PortLinks links{folder.Path(), "ports"};
};

// A host that answers no new connection, as one behind a firewall that drops
// packets: a loopback listener that never accepts, its queue filled, so the
// system drops every further connection's first packet.
class Unanswering {
 public:
  Unanswering() {
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof address;
    listen(listener_, 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    for (int& filler : fillers_) {
      filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
  }
  ~Unanswering() {
    for (int filler : fillers_) close(filler);
    close(listener_);
  }
  int Port() const { return port_; }

 private:
  int listener_ = socket(AF_INET, SOCK_STREAM, 0);
  int fillers_[2]{};
  int port_ = 0;
};

TEST_F(Publish, AStationPublishesItsStatusEachPortsLiveStatesAndGoesOfflineWithItsTally) {
  ASSERT_TRUE(broker.Running());
  Subscriber line(broker, folder / "line", "line/#");
  ASSERT_TRUE(line.Subscribed());
  PtyDevice& board = Device({"--pace-baud", "57600"});
  auto station = Station("bench/1");  // a slash in a name stays in its level
  const std::string status = "line/bench%2F1/status";
  ASSERT_TRUE(line.Until([&](auto) { return !line.On(status).empty(); }));
  Json online = Json::parse(line.On(status)[0].payload);
  EXPECT_EQ(online["state"], "online");
  EXPECT_EQ(online["station"], "bench/1");
  EXPECT_EQ(online["file"], "fw.bin");
  EXPECT_EQ(online["path"], folder / "fw.bin");
  EXPECT_EQ(online["sha256"].get<std::string>().size(), 64u);
  EXPECT_EQ(online["tally"], Json({{"updated", 0}, {"failed", 0}}));

  std::string usb0 = links.Plug("usb0", board.Port());
  std::string port = "line/bench%2F1/port/" + TopicLevelOf(usb0);
  ASSERT_TRUE(line.Until([&](auto) { auto s = States(line.On(port)); return !s.empty() && s.back() == "result"; }));
  links.Unplug("usb0");
  ASSERT_TRUE(line.Until([&](auto) { return States(line.On(port)).back() == "cleared"; }));
  station->Signal(SIGINT);
  Ran ended = Finish(*station, "bench%2F1");
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(std::count_if(ended.err.begin(), ended.err.end(),
                          [](const std::string& line) { return line.find("cannot publish") != std::string::npos; }),
            0)
      << ::testing::PrintToString(ended.err);  // its own end is no lost connection

  EXPECT_EQ(States(line.On(port)), (std::vector<std::string>{"appeared", "running", "waiting", "result", "cleared"}));
  auto payloads = Payloads(line.On(port));
  Json result = *std::find_if(payloads.begin(), payloads.end(), [](const Json& p) { return p.is_object() && p["state"] == "result"; });
  EXPECT_EQ(result["port"], usb0);
  EXPECT_EQ(result["outcome"], 0);
  EXPECT_EQ(result["percent"], 100);
  EXPECT_EQ(result["message"], "Device update!");
  EXPECT_TRUE(board.Log() == firmware);
  ASSERT_EQ(line.On("line/bench%2F1/result").size(), 1u);
  Json record = Json::parse(line.On("line/bench%2F1/result")[0].payload);
  EXPECT_EQ(record["id"], 1);
  EXPECT_EQ(record["station"], "bench/1");
  EXPECT_EQ(record["port"], usb0);
  EXPECT_EQ(record["outcome"], 0);
  EXPECT_EQ(record["file_sha256"], online["sha256"]);
  // What a dashboard that opens now sees: the station offline, its tally.
  Subscriber late(broker, folder / "late", "line/#");
  ASSERT_TRUE(late.Until([&](auto) { return !late.On(status).empty(); }));
  Message last = late.On(status)[0];
  EXPECT_TRUE(last.retained);
  Json offline = Json::parse(last.payload);
  EXPECT_EQ(offline["state"], "offline");
  EXPECT_FALSE(offline.contains("lost"));
  EXPECT_EQ(offline["tally"], Json({{"updated", 1}, {"failed", 0}}));
}

TEST_F(Publish, ResultsWhileTheBrokerIsAwayArriveOnceItIsBackAllInOrder) {
  ASSERT_TRUE(broker.Running());
  Subscriber line(broker, folder / "line", "line/s1/result", "mes");  // kept while the broker is away
  ASSERT_TRUE(line.Subscribed());
  PtyDevice& first = Device({"--pace-baud", "57600"});
  PtyDevice& second = Device({"--pace-baud", "57600"});
  auto station = Station("s1");
  links.Plug("usb0", first.Port());
  links.Plug("usb1", second.Port());
  ASSERT_TRUE(first.WaitForEventStarting("body"));
  broker.Stop();
  ASSERT_TRUE(WaitUntil([&] { return LinesOf(ReadFile(folder / "s1.out")).size() == 2; }, 20s));
  ASSERT_TRUE(broker.Start());
  ASSERT_TRUE(line.Until([&](const std::vector<Message>& m) { return m.size() >= 2; }, 40s));
  station->Signal(SIGINT);
  EXPECT_EQ(Finish(*station, "s1").status, 0);
  // In order, each at least once (one under way as the broker went may come twice).
  std::vector<int> ids;
  for (const Json& result : Payloads(line.Messages()))
    if (ids.empty() || ids.back() != result["id"]) ids.push_back(result["id"]);
  EXPECT_EQ(ids, (std::vector<int>{1, 2}));
}

TEST_F(Publish, AStationKilledIsShownOfflineByItsLastWillAndItsResultsGoOutWhenItIsBack) {
  ASSERT_TRUE(broker.Running());
  Subscriber line(broker, folder / "line", "line/s1/#", "mes");
  ASSERT_TRUE(line.Subscribed());
  auto station = Station("s1");
  ASSERT_TRUE(line.Until([&](auto) { return !line.On("line/s1/status").empty(); }));
  station->Signal(SIGKILL);
  ASSERT_TRUE(line.Until([&](auto) { return line.On("line/s1/status").size() == 2; }, 20s));
  EXPECT_EQ(Json::parse(line.On("line/s1/status")[1].payload),
            Json({{"station", "s1"}, {"state", "offline"}, {"lost", true}}));

  // Killed again, with a result the broker never had.
  broker.Stop();
  PtyDevice& board = Device();
  station = Station("s1");
  links.Plug("usb0", board.Port());
  ASSERT_TRUE(WaitUntil([&] { return LinesOf(ReadFile(folder / "s1.out")).size() == 1; }, 20s));
  station->Signal(SIGKILL);
  station->Wait();
  ASSERT_TRUE(broker.Start());
  links.Unplug("usb0");
  station = Station("s1");
  ASSERT_TRUE(line.Until([&](auto) { return line.On("line/s1/result").size() == 1; }));
  EXPECT_EQ(Json::parse(line.On("line/s1/result")[0].payload)["port"], links / "usb0");
}

TEST_F(Publish, ABrokerThatRefusesThePasswordDelaysNoBoardAndIsToldOnce) {
  WriteFile(folder / "passwords", "");
  Child make("/usr/bin/mosquitto_passwd", {"-b", folder / "passwords", "line", "right"}, folder / "p.out", folder / "p.err");
  ASSERT_EQ(make.Wait(), 0);
  Broker guarded(folder / "guarded", {.passwords = folder / "passwords"});
  ASSERT_TRUE(guarded.Running());
  WriteFile(folder / "wrong", "wrong\n");
  PtyDevice& first = Device();
  PtyDevice& second = Device({"--first-answer", "4E4F"});
  std::string url = "mqtt://line@127.0.0.1:" + std::to_string(guarded.Tcp()) + "/line";
  Ran ran = Run({"-p", first.Port(), "-p", second.Port(), "--record", folder / "records.sqlite", "--publish", url,
                 "--publish-password-file", folder / "wrong", folder / "fw.bin"});
  EXPECT_EQ(ran.status, 4);  // the boards' status, not the broker's
  EXPECT_TRUE(first.Log() == firmware);
  EXPECT_EQ(std::count_if(ran.err.begin(), ran.err.end(),
                          [](const std::string& line) { return line.find("refused") != std::string::npos; }),
            1)
      << ::testing::PrintToString(ran.err);
  EXPECT_NE(std::find_if(ran.err.begin(), ran.err.end(),
                         [](const std::string& line) { return line.find("2 results are not yet published") == 10; }),
            ran.err.end());
}


TEST_F(Publish, ABrokerWhoseCertificateIsNotTrustedDelaysNoBoardAndIsToldOnce) {
  Child make("/usr/bin/openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                                  "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", folder / "key.pem", "-out",
                                  folder / "cert.pem"},
             folder / "ssl.out", folder / "ssl.err");
  ASSERT_EQ(make.Wait(), 0);
  Broker secure(folder / "secure", {.cert = folder / "cert.pem", .key = folder / "key.pem"});
  ASSERT_TRUE(secure.Running());
  PtyDevice& board = Device();
  std::string url = "mqtts://127.0.0.1:" + std::to_string(secure.Tls()) + "/line";  // the system's certificates
  Ran ran = Run({"-p", board.Port(), "--record", folder / "records.sqlite", "--publish", url, folder / "fw.bin"});
  EXPECT_EQ(ran.status, 0);
  EXPECT_TRUE(board.Log() == firmware);
  EXPECT_EQ(std::count_if(ran.err.begin(), ran.err.end(),
                          [](const std::string& line) { return line.find("TLS") != std::string::npos; }),
            1)
      << ::testing::PrintToString(ran.err);
}

TEST_F(Publish, ABrokerThatNeverAnswersHoldsUpNeitherTheBoardsNorTheEnd) {
  Unanswering host;
  PtyDevice& board = Device();
  auto run = Start({"-p", board.Port(), "--record", folder / "records.sqlite", "--publish",
                    "mqtt://127.0.0.1:" + std::to_string(host.Port()) + "/line", folder / "fw.bin"});
  Ran ran = Finish(*run, "run", kPromptly);
  EXPECT_EQ(ran.status, 0);
  EXPECT_TRUE(board.Log() == firmware);
  // The end waited its few seconds for the broker, and then knew what it left.
  EXPECT_EQ(ran.err, (std::vector<std::string>{"fwupload: 1 result is not yet published to mqtt://127.0.0.1:" +
                                               std::to_string(host.Port()) +
                                               "/line; they go out with this station's next --publish"}));
}

TEST_F(Publish, ASubscriberThatStopsReadingDelaysNoBoardAndNoResult) {
  ASSERT_TRUE(broker.Running());
  Subscriber stalled(broker, folder / "stalled", "line/#", "stalled");  // the broker keeps a queue for it
  ASSERT_TRUE(stalled.Subscribed());
  stalled.StopReading();
  // More than its socket's buffers and the broker's queue for it hold.
  WriteFile(folder / "megabyte", std::string(1 << 20, 'x'));
  for (int i = 0; i < 16; ++i) {
    Child flood("/usr/bin/mosquitto_pub", {"-h", "127.0.0.1", "-p", std::to_string(broker.Tcp()), "-q", "1", "-t",
                                           "line/flood", "-f", folder / "megabyte"},
                folder / "flood.out", folder / "flood.err");
    ASSERT_EQ(flood.Wait(), 0);
  }
  Subscriber line(broker, folder / "line", "line/s1/result");
  ASSERT_TRUE(line.Subscribed());
  PtyDevice& first = Device();
  PtyDevice& second = Device();
  Ran ran = Run({"-p", first.Port(), "-p", second.Port(), "--record", folder / "records.sqlite", "--publish",
                 broker.Url("line"), "--station", "s1", folder / "fw.bin"});
  EXPECT_EQ(ran.status, 0);
  EXPECT_TRUE(first.Log() == firmware && second.Log() == firmware);
  EXPECT_TRUE(ran.err.empty()) << ::testing::PrintToString(ran.err);
  EXPECT_TRUE(line.Until([](const std::vector<Message>& m) { return m.size() == 2; }));
}

}  // namespace
