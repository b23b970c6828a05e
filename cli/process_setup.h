#pragma once

#include <functional>

// How a command ends by a signal (SIGINT, SIGTERM, SIGHUP, SIGPIPE): leaving no temporary file
// behind and the terminal as it was.
namespace tunekiln {

// Called first, before any thread starts: blocks the ending signals in every thread to come
// and watches them on a thread of its own, which ends the process as end_by_signal does.
// A signal the caller set to be ignored stays ignored. A file too large for the limit of the
// process fails its write instead of ending it.
void watch_ending_signals();

// True when `signal` was ignored when the program started, and so is still.
bool signal_ignored_by_caller(int signal);

// Puts back what a command changed (the terminal's mode) when a signal ends the process while
// this lives. The action runs on the watching thread.
class SignalCleanup {
 public:
  explicit SignalCleanup(std::function<void()> action);
  SignalCleanup(const SignalCleanup&) = delete;
  SignalCleanup& operator=(const SignalCleanup&) = delete;
  ~SignalCleanup();

 private:
  std::function<void()> action_;
};

// Runs the cleanups, removes unfinished outputs and ends the process by `signal`, so that the
// shell sees the status 128 + signal and stops a loop on SIGINT.
[[noreturn]] void end_by_signal(int signal);

}  // namespace tunekiln
