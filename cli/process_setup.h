#pragma once

#include <functional>

// How the process starts and ends around a command: valid standard descriptors, and the
// signals that end it (SIGINT, SIGTERM, SIGHUP, SIGPIPE) leaving no temporary file behind.
namespace tunekiln {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that no file the
// command opens can take their place and receive its messages.
void make_standard_descriptors_valid();

// Called first, before any thread starts: blocks the ending signals in every thread to come
// and watches them on a thread of its own, which ends the process as end_by_signal does.
// A file too large for the limit of the process fails its write instead of ending it.
void watch_ending_signals();

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
