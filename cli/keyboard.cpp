#include "cli/keyboard.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace tunekiln {

Keyboard::Keyboard(std::function<void(PlayKey)> onKey) : onKey_(std::move(onKey)) {
  termios mode{};
  if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &mode) != 0) return;
  // A program started in the background must leave the terminal alone: changing its mode would
  // stop the program, and the keys belong to whatever runs in the foreground.
  if (::tcgetpgrp(STDIN_FILENO) != ::getpgrp()) return;
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) return;
  saved_ = mode;
  restoreOnSignal_.emplace([saved = mode] { ::tcsetattr(STDIN_FILENO, TCSANOW, &saved); });
  // Each key as it comes, unechoed; Ctrl-C arrives as a key, so the terminal is always put back.
  mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &mode);
  reader_ = std::thread([this] { readKeys(); });
}

Keyboard::~Keyboard() {
  if (!saved_) return;
  const char stop = 0;
  while (::write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
  }
  reader_.join();
  ::tcsetattr(STDIN_FILENO, TCSANOW, &*saved_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

void Keyboard::readKeys() {
  PlayKeyDecoder decoder;
  std::array<pollfd, 2> sources{{{STDIN_FILENO, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}}};
  std::array<std::uint8_t, 64> bytes{};
  for (;;) {
    if (::poll(sources.data(), sources.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (sources[1].revents != 0) return;
    if (sources[0].revents == 0) continue;
    const ssize_t got = ::read(STDIN_FILENO, bytes.data(), bytes.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;  // the terminal has gone
    for (const PlayKey key : decoder.decode(bytes.data(), static_cast<std::size_t>(got))) onKey_(key);
  }
}

}  // namespace tunekiln
