#pragma once

#include <termios.h>

#include <functional>
#include <optional>
#include <thread>

#include "cli/play_keys.h"
#include "cli/process_setup.h"

namespace tunekiln {

// Reads keys from standard input while it lives, when that is the terminal the program runs in
// the foreground of: the terminal is put into a mode that hands over each key at once without
// showing it, and is put back afterwards. `onKey` is called on a thread of its own. Without
// such a terminal nothing is read.
class Keyboard {
 public:
  explicit Keyboard(std::function<void(PlayKey)> onKey);
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;
  ~Keyboard();

 private:
  void readKeys();

  std::function<void(PlayKey)> onKey_;
  std::optional<termios> saved_;  // the terminal's mode before; nothing without a terminal
  std::optional<SignalCleanup> restoreOnSignal_;
  int stopPipe_[2] = {-1, -1};    // written to end the reading
  std::thread reader_;
};

}  // namespace tunekiln
