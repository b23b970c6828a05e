#include "engine/mp3_length_walk.h"

#include "platform/input_file.h"

namespace tunekiln {

Mp3LengthWalk::Mp3LengthWalk(const std::string& path, std::function<void()> ended)
    : thread_([this, path, ended = std::move(ended)] {
        if (const auto file = InputFile::open(path)) walk_ = walk_mp3_frames(FileByteReader(*file), true, &stop_);
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
