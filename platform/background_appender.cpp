#include "platform/background_appender.h"

#include <cerrno>

namespace tunekiln {

// Three blocks: one being filled, one being written, one spare to smooth out the two.
constexpr int kBlockCount = 3;

BackgroundAppender::BackgroundAppender(ReplacementFile& file, std::size_t blockBytes)
    : file_(file), blocks_(kBlockCount, std::vector<std::uint8_t>(blockBytes)) {
  for (auto& block : blocks_) free_.push_back(block.data());
  writer_ = std::thread([this] { writeLoop(); });
}

BackgroundAppender::~BackgroundAppender() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  writer_.join();
}

std::uint8_t* BackgroundAppender::freeBlock() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty(); });
  std::uint8_t* block = free_.front();
  free_.pop_front();
  return block;
}

void BackgroundAppender::append(std::uint8_t* block, std::size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    queued_.push_back({block, bytes});
  }
  changed_.notify_all();
}

bool BackgroundAppender::finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queued_.empty() && !writing_; });
  if (failed_) errno = failure_;
  return !failed_;
}

bool BackgroundAppender::failed() {
  std::lock_guard lock(mutex_);
  return failed_;
}

void BackgroundAppender::writeLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;  // stopping with nothing left to write
    const Pending pending = queued_.front();
    queued_.pop_front();
    writing_ = true;
    const bool skip = failed_;  // after a failure the file is abandoned anyway
    lock.unlock();
    const bool written = skip || file_.append(pending.block, pending.bytes);
    const int error = errno;
    lock.lock();
    if (!written && !failed_) failure_ = error;
    writing_ = false;
    failed_ = failed_ || !written;
    free_.push_back(pending.block);
    changed_.notify_all();
  }
}

}  // namespace tunekiln
