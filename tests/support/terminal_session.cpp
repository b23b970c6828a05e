#include "tests/support/terminal_session.h"

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tunekiln::test {

TerminalSession::TerminalSession(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = ::forkpty(&terminal_, nullptr, nullptr, nullptr);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

TerminalSession::~TerminalSession() {
  if (status_ < 0) ::kill(pid_, SIGKILL);
  wait();
  ::close(terminal_);
}

bool TerminalSession::readMore() {
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(terminal_, buffer, sizeof buffer)) < 0 && errno == EINTR) {
  }
  if (got > 0) shown_.append(buffer, static_cast<std::size_t>(got));
  return got > 0;  // EIO once the program has closed the terminal
}

bool TerminalSession::waitForText(const std::string& text) {
  while (shown_.find(text) == std::string::npos) {
    if (!readMore()) return false;
  }
  return true;
}

void TerminalSession::type(const std::string& keys) {
  if (::write(terminal_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
    throw std::runtime_error("typing");
  }
}

void TerminalSession::sendSignal(int signal) { ::kill(pid_, signal); }

int TerminalSession::wait() {
  if (status_ >= 0) return status_;
  while (readMore()) {
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

}  // namespace tunekiln::test
