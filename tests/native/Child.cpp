#include "tests/native/Child.h"

#include "tests/native/Wait.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

Child::Child(const std::string& program, const std::vector<std::string>& arguments, const std::string& stdoutPath,
             const std::string& stderrPath) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ != 0) return;
  int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) _exit(127);
  execv(program.c_str(), argv.data());
  _exit(127);
}

Child::~Child() {
  if (pid_ <= 0 || status_) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0 || status_) return status_;
  WaitUntil(
      [&] {
        int status = 0;
        rusage usage{};
        if (wait4(pid_, &status, WNOHANG, &usage) != pid_) return false;
        cpuTime_ = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return true;
      },
      timeout);
  return status_;
}

void Child::Signal(int signal) {
  if (pid_ > 0 && !status_) kill(pid_, signal);
}
