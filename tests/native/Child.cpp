#include "tests/native/Child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

Child::Child(const std::string& program, const std::vector<std::string>& arguments, const std::string& stdoutPath,
             const std::string& stderrPath)
    : Child(program, arguments, [&] {
        int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return out >= 0 && err >= 0 && dup2(out, STDOUT_FILENO) >= 0 && dup2(err, STDERR_FILENO) >= 0;
      }) {}

Child::Child(const std::string& program, const std::vector<std::string>& arguments,
             const std::function<bool()>& prepare) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ != 0) return;
  if (!prepare()) _exit(127);
  execv(program.c_str(), argv.data());
  _exit(127);
}

Child::~Child() {
  if (pid_ <= 0 || status_) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

// Sleeps until the program ends or the time-out passes: a waiter that woke
// every millisecond would take processor time from what a benchmark measures.
std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0 || status_) return status_;
  int process = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  pollfd ended{process, POLLIN, 0};
  bool done = process >= 0 && poll(&ended, 1, static_cast<int>(timeout.count())) == 1;
  close(process);
  int status = 0;
  rusage usage{};
  if (!done || wait4(pid_, &status, WNOHANG, &usage) != pid_) return status_;
  cpuTime_ = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return status_;
}

void Child::Signal(int signal) {
  if (pid_ > 0 && !status_) kill(pid_, signal);
}
