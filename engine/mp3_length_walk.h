#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "audiofile/mp3_frame_walk.h"

namespace tunekiln {

// The walk over every frame header of MPEG audio, on a thread of its own so that the first
// sound never waits for it. `ended` runs on that thread when the walk is over; it may only
// signal or post.
class Mp3LengthWalk {
 public:
  Mp3LengthWalk(std::shared_ptr<const ByteReader> audio, std::function<void()> ended);
  Mp3LengthWalk(const Mp3LengthWalk&) = delete;
  Mp3LengthWalk& operator=(const Mp3LengthWalk&) = delete;
  // Stops the walk where it is and waits for its thread.
  ~Mp3LengthWalk();

  // Waits for the walk to end.
  void wait();

  // The finished walk, or nothing while it goes on or when it found no frames.
  const Mp3FrameWalk* result() const {
    return finished_.load(std::memory_order_acquire) && walk_.result == AudioFileResult::ok ? &walk_ : nullptr;
  }

 private:
  Mp3FrameWalk walk_;  // written by the thread only, read by others only once `finished_` is set
  std::atomic<bool> finished_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tunekiln
