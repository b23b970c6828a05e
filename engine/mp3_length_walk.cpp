#include "engine/mp3_length_walk.h"

namespace tunekiln {

Mp3LengthWalk::Mp3LengthWalk(std::shared_ptr<const ByteReader> audio, std::function<void()> ended)
    : thread_([this, audio = std::move(audio), ended = std::move(ended)] {
        walk_ = walk_mp3_frames(*audio, true, &stop_);
        // A walk that was stopped has not seen the whole file: its count is no length.
        if (stop_.load()) return;
        finished_.store(true, std::memory_order_release);
        if (ended) ended();
      }) {}

void Mp3LengthWalk::wait() {
  if (thread_.joinable()) thread_.join();
}

Mp3LengthWalk::~Mp3LengthWalk() {
  stop_.store(true);
  wait();
}

}  // namespace tunekiln
