#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/replacement_file.h"

namespace tunekiln {

// Appends blocks to a file on a thread of its own, so that reading and computing the next
// block overlaps with writing the last one. The blocks are its own, taken and given back in turn.
class BackgroundAppender {
 public:
  BackgroundAppender(ReplacementFile& file, std::size_t blockBytes);
  BackgroundAppender(const BackgroundAppender&) = delete;
  BackgroundAppender& operator=(const BackgroundAppender&) = delete;
  ~BackgroundAppender();

  // A block to fill; waits while every block is still queued for writing.
  std::uint8_t* freeBlock();
  // Queues the first `bytes` of a block from freeBlock() for appending.
  void append(std::uint8_t* block, std::size_t bytes);
  // Waits until everything queued is written; false when a write failed, with errno saying why.
  bool finish();
  // A write has failed already: the rest need not be computed.
  bool failed();

 private:
  struct Pending {
    std::uint8_t* block;
    std::size_t bytes;
  };
  void writeLoop();

  ReplacementFile& file_;
  std::vector<std::vector<std::uint8_t>> blocks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::uint8_t*> free_;
  std::deque<Pending> queued_;
  bool writing_ = false;
  bool failed_ = false;
  int failure_ = 0;  // errno of the failed write
  bool stopping_ = false;
  std::thread writer_;
};

}  // namespace tunekiln
