#include "publish/Publisher.h"

#include "publish/MqttClient.h"
#include "publish/Topics.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace fwu::publish {

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::seconds kFirstPause{1};
// How long the thread waits for the network, or for news while it is not
// connected: how soon a live state goes out.
constexpr int kLoopMilliseconds = 20;
constexpr std::chrono::milliseconds kIdleWait{100};
// How long a connection may take to be answered, the network's part and the
// broker's.
constexpr std::chrono::seconds kAnswerPatience{kKeepAliveSeconds};

}  // namespace

struct Publisher::Shared {
  std::mutex lock;
  std::condition_variable news;
  LiveQueue live;
  std::optional<std::string> status;
  bool resultsWaiting = true;  // results of an earlier run may wait
  std::deque<std::string> problems;
  std::optional<Clock::time_point> finishBy;
  std::int64_t unpublished = -1;  // set when the thread ends
  bool ended = false;
};

namespace {

// The publishing thread's own state; see Publisher.h for who owns what.
class Connection {
 public:
  Connection(const PublisherSettings& settings, std::unique_ptr<ResultOutbox> outbox, Publisher::Shared& shared)
      : settings_(settings),
        topics_(settings.broker.prefix, settings.station),
        outbox_(std::move(outbox)),
        shared_(shared),
        client_(settings.clientId, {[this](int code, std::string reason) { Answered(code, reason); },
                                    [this] {
                                      if (state_ != State::kDown) Lost("the broker closed the connection");
                                    },
                                    [this](int id) { Acknowledged(id); }}) {}

  void Run() {
    broken_ = Prepare();
    if (!broken_.empty()) Tell(broken_);
    while (!Step()) {
    }
    // Down first: the client reports its own disconnection at once.
    if (std::exchange(state_, State::kDown) != State::kDown) client_.Disconnect();
    std::int64_t unpublished = outbox_ ? outbox_->Unpublished() : 0;
    std::lock_guard hold(shared_.lock);
    shared_.unpublished = unpublished;
    shared_.ended = true;
    shared_.news.notify_all();
  }

 private:
  enum class State { kDown, kAnswerAwaited, kUp };

  std::string Prepare() {
    const BrokerAddress& broker = settings_.broker;
    std::string problem = client_.Credentials(broker.user, settings_.password);
    if (problem.empty() && broker.tls) problem = client_.Tls(settings_.caFile, broker.host);
    if (problem.empty()) problem = client_.SetWill({topics_.Status(), settings_.lostStatus});
    return problem;
  }

  // One round; true once the thread is to end.
  bool Step() {
    TakeNews();
    auto now = Clock::now();
    if (finishBy_ && (now >= *finishBy_ || Finished())) return true;
    if (state_ == State::kDown && broken_.empty() && now >= nextTry_) Connect();
    if (state_ == State::kAnswerAwaited && now - triedAt_ > kAnswerPatience) Lost("the broker did not answer");
    if (state_ == State::kUp) Send();
    if (state_ == State::kDown) return Wait();
    if (std::string problem = client_.Loop(kLoopMilliseconds); !problem.empty()) Lost(problem);
    return false;
  }

  // Whether everything is out at the finish, or can no longer go out.
  bool Finished() const {
    if (state_ == State::kUp) return lastStatusAcknowledged_ && !awaited_ && !moreResults_;
    return !broken_.empty() || (state_ == State::kDown && triedAfterFinish_);
  }

  // What the caller handed over, taken under the shared lock; the live
  // states go out once it is released, as the lock is never held while the
  // client works.
  void TakeNews() {
    std::vector<LiveState> live;
    {
      std::lock_guard hold(shared_.lock);
      while (!shared_.live.Empty()) live.push_back(shared_.live.Pop());
      if (shared_.status) {
        status_ = std::move(*shared_.status);
        shared_.status.reset();
        statusSent_ = false;
      }
      moreResults_ = moreResults_ || std::exchange(shared_.resultsWaiting, false);
      if (shared_.finishBy && !finishBy_) {
        finishBy_ = shared_.finishBy;
        if (state_ == State::kDown) nextTry_ = Clock::now();  // one more try, not a wait
      }
    }
    for (LiveState& state : live) {
      if (state_ == State::kUp) PublishPort(state);
      if (state.payload.empty())
        ports_.erase(state.port);
      else
        ports_[state.port] = std::move(state.payload);
    }
  }

  void Connect() {
    if (finishBy_) triedAfterFinish_ = true;
    triedAt_ = Clock::now();
    std::string problem = client_.Connect(settings_.broker.host, settings_.broker.port, kKeepAliveSeconds);
    if (!problem.empty()) return Lost(problem);
    state_ = State::kAnswerAwaited;
  }

  void Answered(int code, const std::string& reason) {
    if (code != 0) return Lost("the broker refused the connection: " + reason);
    state_ = State::kUp;
    pause_ = kFirstPause;
    if (!told_.empty()) Tell("publishing to " + settings_.broker.Shown() + " again");
    told_.clear();
    statusSent_ = false;
    moreResults_ = true;
    resultsAfter_ = 0;
    for (const auto& [port, payload] : ports_) PublishPort({port, payload});
  }

  void Lost(const std::string& problem) {
    if (std::exchange(state_, State::kDown) != State::kDown) client_.Disconnect();
    awaited_.reset();
    nextTry_ = Clock::now() + pause_;
    pause_ = std::min<std::chrono::seconds>(pause_ * 2, kLongestPause);
    if (problem != told_) Tell("cannot publish to " + settings_.broker.Shown() + ": " + problem +
                               " (the station goes on; trying again)");
    told_ = problem;
  }

  void Tell(const std::string& line) {
    std::lock_guard hold(shared_.lock);
    shared_.problems.push_back("fwupload: " + line);
  }

  bool Wait() {
    std::unique_lock hold(shared_.lock);
    auto until = std::min(nextTry_, Clock::now() + kIdleWait);
    if (finishBy_) until = std::min(until, *finishBy_);
    shared_.news.wait_until(hold, until);
    return false;
  }

  void Send() {
    if (!statusSent_ && status_) {
      auto published = client_.Publish(topics_.Status(), *status_, 1, true);
      if (!published.id) return Lost(published.problem);
      statusSent_ = true;
      statusId_ = *published.id;
    }
    if (moreResults_ && !awaited_ && outbox_) SendNextResult();
    if (!outbox_) moreResults_ = false;
  }

  void SendNextResult() {
    std::string problem;
    std::optional<ResultOutbox::Result> result = outbox_->Next(resultsAfter_, problem);
    if (!problem.empty()) Tell("cannot read the results to publish: " + problem);
    if (!result) {
      moreResults_ = false;
      return;
    }
    auto published = client_.Publish(topics_.Result(), result->payload, 1, false);
    if (!published.id) return Lost(published.problem);
    awaited_ = *published.id;
    results_[*published.id] = result->id;
  }

  void Acknowledged(int id) {
    if (id == statusId_ && finishBy_ && statusSent_) lastStatusAcknowledged_ = true;
    auto result = results_.find(id);
    if (result == results_.end()) return;
    if (std::string problem = outbox_->MarkPublished(result->second); !problem.empty())
      Tell("cannot mark a result published: " + problem);
    resultsAfter_ = std::max(resultsAfter_, result->second);
    results_.erase(result);
    if (awaited_ == id) awaited_.reset();
  }

  void PublishPort(const LiveState& state) {
    // QoS 0: a live state that does not arrive is followed by the next.
    client_.Publish(topics_.Port(state.port), state.payload, 0, true);
  }

  const PublisherSettings& settings_;
  Topics topics_;
  std::unique_ptr<ResultOutbox> outbox_;
  Publisher::Shared& shared_;
  MqttClient client_;
  State state_ = State::kDown;
  std::string broken_;  // a problem no new try mends (an unreadable CA file)
  std::string told_;    // the problem last told
  std::chrono::seconds pause_ = kFirstPause;
  Clock::time_point nextTry_{};
  Clock::time_point triedAt_{};
  std::optional<Clock::time_point> finishBy_;
  bool triedAfterFinish_ = false;
  std::map<std::string, std::string> ports_;  // each port's latest state
  std::optional<std::string> status_;
  bool statusSent_ = false;
  int statusId_ = 0;
  bool lastStatusAcknowledged_ = false;
  bool moreResults_ = false;
  std::int64_t resultsAfter_ = 0;     // the last result acknowledged in this connection
  std::optional<int> awaited_;        // the result sent and not yet acknowledged
  std::map<int, std::int64_t> results_;  // message id -> result id, until acknowledged
};

}  // namespace

Publisher::Publisher(PublisherSettings settings, std::unique_ptr<ResultOutbox> outbox)
    : shared_(std::make_shared<Shared>()) {
  // The thread keeps what it uses alive: a Finish that gives up on it (a
  // host name whose lookup hangs) leaves it to end on its own.
  thread_ = std::thread([shared = shared_, settings = std::move(settings), outbox = std::move(outbox)]() mutable {
    Connection(settings, std::move(outbox), *shared).Run();
  });
}

Publisher::~Publisher() {
  if (thread_.joinable()) Finish({}, std::chrono::milliseconds(0));
}

void Publisher::Status(std::string payload) {
  std::lock_guard hold(shared_->lock);
  shared_->status = std::move(payload);
  shared_->news.notify_all();
}

void Publisher::Port(LiveState state) {
  std::lock_guard hold(shared_->lock);
  shared_->live.Push(std::move(state));
}

void Publisher::ResultsWaiting() {
  std::lock_guard hold(shared_->lock);
  shared_->resultsWaiting = true;
  shared_->news.notify_all();
}

std::optional<std::string> Publisher::TakeProblem() {
  std::lock_guard hold(shared_->lock);
  if (shared_->problems.empty()) return std::nullopt;
  std::string problem = std::move(shared_->problems.front());
  shared_->problems.pop_front();
  return problem;
}

std::int64_t Publisher::Finish(std::string lastStatus, std::chrono::milliseconds most) {
  std::unique_lock hold(shared_->lock);
  if (!lastStatus.empty()) shared_->status = std::move(lastStatus);
  auto by = Clock::now() + most;
  shared_->finishBy = by;
  shared_->news.notify_all();
  // A little beyond `by`: the thread's last round.
  bool ended = shared_->news.wait_until(hold, by + std::chrono::milliseconds(500), [&] { return shared_->ended; });
  hold.unlock();
  if (ended)
    thread_.join();
  else
    thread_.detach();
  return ended ? shared_->unpublished : -1;
}

}  // namespace fwu::publish
