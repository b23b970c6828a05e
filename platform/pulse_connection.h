#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>
#include <string>

namespace tunekiln {

// One connection to the sound server over libpulse, with the thread that runs its main loop.
// Everything that touches the connection's objects holds its lock; libpulse calls back on its
// own thread with the lock held. Only the platform's sound code uses this.
class PulseConnection {
 public:
  // Holds the connection's lock for a scope. Not for use inside libpulse's callbacks, which
  // already hold it.
  class Lock {
   public:
    explicit Lock(const PulseConnection& connection) : loop_(connection.loop_) { pa_threaded_mainloop_lock(loop_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { pa_threaded_mainloop_unlock(loop_); }

   private:
    pa_threaded_mainloop* loop_;
  };

  // Connects to the server at `server`, or, when it is empty, to the user's own (PULSE_SERVER
  // or the usual socket); a server is never started for it. Nothing when none answers within
  // `limit`.
  static std::unique_ptr<PulseConnection> open(const std::string& server, std::chrono::milliseconds limit);

  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;
  ~PulseConnection();

  pa_context* context() const { return context_; }

  // With the lock held: true while the connection works.
  bool alive() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }

  // With the lock held: sleeps until `done()` answers true, the connection fails or `limit`
  // has passed; true when `done()` does. Whatever `done()` looks at must wake the connection
  // when it changes (wakeWaiter), as libpulse's callbacks do.
  template <typename Done>
  bool waitUntil(Done done, std::chrono::milliseconds limit) {
    Deadline deadline(*this, limit);
    bool answer = done();
    while (!answer && !deadline.passed && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
      pa_threaded_mainloop_wait(loop_);
      answer = done();
    }
    return answer;
  }

  // With the lock held: waits for an operation (which may be nothing) to end and lets go of
  // it; true when it ended in time. Its callback must wake the connection.
  bool finish(pa_operation* operation, std::chrono::milliseconds limit);

  // Wakes whoever waits in waitUntil; for libpulse's callbacks.
  void wakeWaiter() const { pa_threaded_mainloop_signal(loop_, 0); }

 private:
  // A timer on the main loop that wakes the waiter when the time is up; lock held throughout.
  struct Deadline {
    Deadline(const PulseConnection& connection, std::chrono::milliseconds limit);
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
    ~Deadline();

    const PulseConnection& connection;
    pa_time_event* timer;
    bool passed = false;
  };

  PulseConnection();

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool running_ = false;
};

}  // namespace tunekiln
