#include "tests/support/terminal_session.h"

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace tunekiln::test {

TerminalSession::TerminalSession(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::forkpty(&terminal_, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  pid_ = pid;
}

TerminalSession::~TerminalSession() {
  if (status_ < 0) {
    ::kill(pid_, SIGKILL);
    wait();
  }
  ::close(terminal_);
}

bool TerminalSession::readMore() {
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = ::read(terminal_, buffer.data(), buffer.size());
    if (got > 0) {
      shown_.append(buffer.data(), static_cast<std::size_t>(got));
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    return false;  // EIO once the program has closed the terminal
  }
}

bool TerminalSession::waitForText(const std::string& text) {
  for (;;) {
    const auto found = shown_.find(text, looked_);
    if (found != std::string::npos) {
      looked_ = found + text.size();
      return true;
    }
    if (!readMore()) return false;
  }
}

void TerminalSession::type(const std::string& keys) {
  if (::write(terminal_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
    throw std::runtime_error("cannot type on the terminal");
  }
}

void TerminalSession::sendSignal(int signal) { ::kill(pid_, signal); }

int TerminalSession::wait() {
  if (status_ >= 0) return status_;
  while (readMore()) {
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

}  // namespace tunekiln::test
