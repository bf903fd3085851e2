#include "tests/native/Broker.h"

#include "tests/native/Folder.h"
#include "tests/native/Wait.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <sstream>

namespace {

const std::string kBrokerScript = FWU_SOURCE_DIR "/scripts/broker.sh";

// Standard output and error to files, and an end with the test process.
std::function<bool()> Prepared(const std::string& out, const std::string& err) {
  return [=] {
    int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return outFd >= 0 && errFd >= 0 && dup2(outFd, STDOUT_FILENO) >= 0 && dup2(errFd, STDERR_FILENO) >= 0 &&
           prctl(PR_SET_PDEATHSIG, SIGTERM) == 0;
  };
}

int PortIn(const std::string& line, const std::string& name) {
  std::size_t at = line.find(name + "=");
  return at == std::string::npos ? 0 : std::stoi(line.substr(at + name.size() + 1));
}

std::string Probe(const std::string& folder) { return "probe" + folder; }

}  // namespace

Broker::Broker(std::string folder, BrokerOptions options) : folder_(std::move(folder)), options_(std::move(options)) {
  Start();
}

Broker::~Broker() { Stop(); }

std::string Broker::Url(const std::string& prefix) const {
  return "mqtt://127.0.0.1:" + std::to_string(tcp_) + "/" + prefix;
}

std::chrono::microseconds Broker::CpuTime() const {
  // /proc/PID/stat: the 14th and 15th fields, after the name in parentheses.
  std::string stat = ReadFile("/proc/" + std::to_string(pid_) + "/stat");
  if (!broker_ || stat.rfind(')') == std::string::npos) return {};
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  long long user = 0, system = 0;
  fields >> user >> system;
  return std::chrono::microseconds((user + system) * 1000000 / sysconf(_SC_CLK_TCK));
}

void Broker::Stop() {
  if (!broker_) return;
  broker_->Signal(SIGTERM);
  broker_->Wait();
  broker_.reset();
}

bool Broker::Start() {
  Stop();
  std::vector<std::string> arguments{folder_};
  if (tcp_) arguments.insert(arguments.end(), {"--tcp", std::to_string(tcp_), "--ws", std::to_string(ws_)});
  if (!options_.cert.empty())
    arguments.insert(arguments.end(), {"--tls", std::to_string(tls_), "--cert", options_.cert, "--key", options_.key});
  if (!options_.passwords.empty()) arguments.insert(arguments.end(), {"--passwords", options_.passwords});
  std::string out = folder_ + ".out";
  unlink(out.c_str());  // the line of the last start is not this one's
  auto broker = std::make_unique<Child>(kBrokerScript, arguments, Prepared(out, folder_ + ".err"));
  std::string line;
  bool up = WaitUntil([&] {
    line = ReadFile(out);
    return line.find('\n') != std::string::npos || broker->Wait(std::chrono::milliseconds(0));
  }, std::chrono::seconds(20));
  if (!up || line.find("tcp=") == std::string::npos) return false;
  tcp_ = PortIn(line, "tcp");
  ws_ = PortIn(line, "ws");
  tls_ = PortIn(line, "tls");
  pid_ = PortIn(line, "pid");
  broker_ = std::move(broker);
  return true;
}

Subscriber::Subscriber(const Broker& broker, std::string folder, const std::string& topic,
                       const std::string& session)
    : path_(folder + ".messages") {
  std::vector<std::string> arguments{"-h", "127.0.0.1", "-p", std::to_string(broker.Tcp()), "-q", "1",
                                     "-t", topic,       "-t", Probe(path_), "-F", "%r %q %t %p"};
  if (!session.empty()) arguments.insert(arguments.end(), {"-c", "-i", session});
  child_ = std::make_unique<Child>("/usr/bin/mosquitto_sub", arguments, Prepared(path_, folder + ".suberr"));
  port_ = broker.Tcp();
}

Subscriber::~Subscriber() = default;

void Subscriber::StopReading() { child_->Signal(SIGSTOP); }

// A probe published until it comes back shows the subscription is there.
bool Subscriber::Subscribed(std::chrono::milliseconds timeout) const {
  return WaitUntil([&] {
    Child publish("/usr/bin/mosquitto_pub", {"-h", "127.0.0.1", "-p", std::to_string(port_), "-t", Probe(path_), "-n"},
                  Prepared("/dev/null", "/dev/null"));
    publish.Wait();
    return WaitUntil([&] { return ReadFile(path_).find(Probe(path_)) != std::string::npos; },
                     std::chrono::milliseconds(300));
  }, timeout);
}

std::vector<Message> Subscriber::Messages() const {
  std::vector<Message> messages;
  for (const std::string& line : LinesOf(ReadFile(path_))) {
    std::istringstream fields(line);
    Message message;
    int retained = 0;
    fields >> retained >> message.qos >> message.topic;
    message.retained = retained == 1;
    fields.get();
    std::getline(fields, message.payload);
    if (message.topic != Probe(path_)) messages.push_back(std::move(message));
  }
  return messages;
}

std::vector<Message> Subscriber::On(const std::string& topic) const {
  std::vector<Message> on;
  for (Message& message : Messages())
    if (message.topic == topic) on.push_back(std::move(message));
  return on;
}
