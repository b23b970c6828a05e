#include "cli/process_setup.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <thread>
#include <vector>

#include "platform/replacement_file.h"

namespace tunekiln {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The ending signals the caller has not set to be ignored (nohup, a background job): an
// ignored one must stay ignored, and a blocked one would be taken by sigwait all the same.
sigset_t& watched_signals() {
  static sigset_t set = [] {
    sigset_t signals;
    ::sigemptyset(&signals);
    for (const int signal : kEndingSignals) {
      struct sigaction action {};
      if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) ::sigaddset(&signals, signal);
    }
    return signals;
  }();
  return set;
}

std::mutex& cleanup_lock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::function<void()>*>& actions() {
  static std::vector<std::function<void()>*> list;
  return list;
}

}  // namespace

void watch_ending_signals() {
  ::signal(SIGXFSZ, SIG_IGN);
  const sigset_t set = watched_signals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    int signal = 0;
    while (::sigwait(&set, &signal) != 0) {
    }
    end_by_signal(signal);
  }).detach();
}

bool signal_ignored_by_caller(int signal) { return ::sigismember(&watched_signals(), signal) == 0; }

SignalCleanup::SignalCleanup(std::function<void()> action) : action_(std::move(action)) {
  const std::lock_guard lock(cleanup_lock());
  actions().push_back(&action_);
}

SignalCleanup::~SignalCleanup() {
  const std::lock_guard lock(cleanup_lock());
  std::erase(actions(), &action_);
}

void end_by_signal(int signal) {
  // Unfinished files first: a cleanup may remove the folder they are in.
  remove_unfinished_files_for_good();
  cleanup_lock().lock();  // never unlocked: the process ends here
  for (auto* action : actions()) (*action)();
  ::signal(signal, SIG_DFL);
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);  // a signal that is ignored by default (none of ours) would return
}

}  // namespace tunekiln
