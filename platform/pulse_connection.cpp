#include "platform/pulse_connection.h"

#include <new>

namespace tunekiln {

PulseConnection::PulseConnection() {
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) throw std::bad_alloc();
  pa_threaded_mainloop_set_name(loop_, "sound server");
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "tunekiln");
  pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "tunekiln");
  context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "tunekiln", properties);
  pa_proplist_free(properties);
  if (context_ == nullptr) {
    pa_threaded_mainloop_free(loop_);
    throw std::bad_alloc();
  }
  pa_context_set_state_callback(
      context_, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->wakeWaiter(); }, this);
}

std::unique_ptr<PulseConnection> PulseConnection::open(const std::string& server, std::chrono::milliseconds limit) {
  std::unique_ptr<PulseConnection> connection(new PulseConnection());
  if (pa_context_connect(connection->context_, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                         nullptr) < 0) {
    return nullptr;
  }
  if (pa_threaded_mainloop_start(connection->loop_) < 0) return nullptr;
  connection->running_ = true;
  Lock lock(*connection);
  if (!connection->waitUntil([&connection] { return connection->alive(); }, limit)) return nullptr;
  return connection;
}

PulseConnection::~PulseConnection() {
  if (running_) {
    {
      Lock lock(*this);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_stop(loop_);
  } else {
    pa_context_disconnect(context_);
  }
  pa_context_unref(context_);
  pa_threaded_mainloop_free(loop_);
}

bool PulseConnection::finish(pa_operation* operation, std::chrono::milliseconds limit) {
  if (operation == nullptr) return false;
  const auto over = [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; };
  const bool ended = waitUntil(over, limit);
  const bool done = ended && pa_operation_get_state(operation) == PA_OPERATION_DONE;
  // Its callback must not come after the caller has moved on.
  if (!ended) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return done;
}

PulseConnection::Deadline::Deadline(const PulseConnection& owner, std::chrono::milliseconds limit)
    : connection(owner) {
  const auto usec = static_cast<pa_usec_t>(std::chrono::duration_cast<std::chrono::microseconds>(limit).count());
  timer = pa_context_rttime_new(
      connection.context_, pa_rtclock_now() + usec,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto& deadline = *static_cast<Deadline*>(self);
        deadline.passed = true;
        deadline.connection.wakeWaiter();
      },
      this);
  // Without a timer the wait could last for ever: it counts as over at once.
  if (timer == nullptr) passed = true;
}

PulseConnection::Deadline::~Deadline() {
  if (timer != nullptr) pa_threaded_mainloop_get_api(connection.loop_)->time_free(timer);
}

}  // namespace tunekiln
