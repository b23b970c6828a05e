#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tunekiln {
namespace {

constexpr int kHighest = -20;

// The lowest nice value RLIMIT_NICE lets an unprivileged thread take (the limit counts 20 - nice).
int lowest_allowed_nice() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NICE, &limit) != 0) return 20;
  if (limit.rlim_cur == RLIM_INFINITY) return kHighest;
  return 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
}

bool set_nice(int thread, int value) { return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), value) == 0; }

}  // namespace

// On Linux the nice value belongs to each thread, named by its thread id.
RaisedThreadPriority::RaisedThreadPriority() : thread_(::gettid()) {
  errno = 0;
  const int before = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread_));
  if (errno != 0) return;
  if (set_nice(thread_, kHighest)) {
    before_ = before;
    return;
  }
  const int allowed = lowest_allowed_nice();
  if (allowed < before && set_nice(thread_, allowed)) before_ = before;
}

RaisedThreadPriority::~RaisedThreadPriority() {
  if (before_) set_nice(thread_, *before_);
}

void lower_this_thread_priority(int steps) {
  const int thread = ::gettid();
  errno = 0;
  const int before = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
  if (errno == 0) set_nice(thread, std::min(before + steps, 19));
}

}  // namespace tunekiln
