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

bool TerminalSession::waitForText(const std::string& text) {
  char buffer[4096];
  while (shown_.find(text) == std::string::npos) {
    const ssize_t got = ::read(terminal_, buffer, sizeof buffer);
    // EIO once the program has closed the terminal.
    if (got > 0) shown_.append(buffer, static_cast<std::size_t>(got));
    else if (got == 0 || errno != EINTR) return false;
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
  // Reads all the program shows, which it may wait to be read, until it closes the terminal.
  if (status_ < 0 && !waitForText(std::string(1, '\0'))) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return status_;
}

}  // namespace tunekiln::test
