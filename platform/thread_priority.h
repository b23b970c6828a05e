#pragma once

#include <optional>

namespace tunekiln {

// While it lives, the thread that made it runs at the highest priority the system allows it
// among ordinary threads (nice -20 with the privilege, else as far as RLIMIT_NICE lets it);
// without any allowance nothing changes. Afterwards the thread has the priority it had before.
// Made and destroyed on the same thread.
class RaisedThreadPriority {
 public:
  RaisedThreadPriority();
  RaisedThreadPriority(const RaisedThreadPriority&) = delete;
  RaisedThreadPriority& operator=(const RaisedThreadPriority&) = delete;
  ~RaisedThreadPriority();

 private:
  int thread_;
  std::optional<int> before_;  // the nice value to go back to; nothing when unchanged
};

// Background work that must yield to playback and the window: the calling thread's nice value
// goes up by `steps` (as far as the system allows) for the rest of its life.
void lower_this_thread_priority(int steps);

}  // namespace tunekiln
