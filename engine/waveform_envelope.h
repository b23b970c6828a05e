#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/player.h"

namespace tunekiln {

// The lowest and highest sample of one channel in a stretch of frames, as 16-bit values.
struct SampleRange {
  std::int16_t low = 0;
  std::int16_t high = 0;
  bool operator==(const SampleRange&) const = default;
};

// What one column of a drawing shows: both channels' ranges (a mono stream fills the first);
// `read` is false for a column whose frames have not been read (yet).
struct EnvelopeColumn {
  bool read = false;
  std::array<SampleRange, 2> channels{};
};

// The shape of a whole stream for drawing: the sample range of each channel per stretch of
// frames, in a fixed number of buckets however long the stream is. One thread adds frames while
// others draw from it.
class WaveformEnvelope {
 public:
  // A power of two, so that halving the resolution merges neighbours exactly; more buckets than
  // the widest strip has columns.
  static constexpr std::size_t kBuckets = 8192;

  // The stream's frame rate and channels and the frames its length promises, before any frames
  // are added; a stream that turns out longer is still taken in whole, at a coarser resolution.
  void begin(std::int32_t sampleRate, int channels, std::uint64_t expectedFrames);

  // Interleaved 16-bit frames of the stream, following those added before.
  void add(const std::int16_t* samples, std::size_t frames);
  // The stream has ended here: its length is now the frames that were added.
  void finish();

  // `width` columns spread over the whole stream (its expected length until it has ended).
  std::vector<EnvelopeColumn> columns(std::size_t width) const;
  int channels() const;
  // Milliseconds of the stream: what was read once it has ended, else what its length promises.
  std::uint64_t lengthMilliseconds() const;

 private:
  std::uint64_t spanFrames() const;  // the frames the columns spread over; with the lock held
  void foldInHalf();

  mutable std::mutex mutex_;
  std::int32_t sampleRate_ = 0;
  int channels_ = 0;
  std::uint64_t expectedFrames_ = 0;
  std::uint64_t framesPerBucket_ = 1;
  std::uint64_t framesAdded_ = 0;
  bool finished_ = false;
  std::vector<std::array<SampleRange, 2>> buckets_;
};

// Reads a file once, on a thread of its own at a low priority, into an envelope through the
// first of `decoders` that opens it, until its end, a failed read (what was read stays) or the
// scan's end. `grew` is called on that thread now and then as the envelope grows and once when
// it is complete; it may only signal or post.
class EnvelopeScan {
 public:
  EnvelopeScan(std::string path, DecoderSlots decoders, std::function<void()> grew);
  EnvelopeScan(const EnvelopeScan&) = delete;
  EnvelopeScan& operator=(const EnvelopeScan&) = delete;
  // Stops the reading promptly and waits for the thread.
  ~EnvelopeScan();

  // Empty until the file has been opened, and for a file no decoder opens.
  std::shared_ptr<const WaveformEnvelope> envelope() const { return envelope_; }

 private:
  void run(const std::string& path);

  DecoderSlots decoders_;
  std::function<void()> grew_;
  std::atomic<bool> stop_{false};
  const std::shared_ptr<WaveformEnvelope> envelope_ = std::make_shared<WaveformEnvelope>();
  std::thread thread_;
};

}  // namespace tunekiln
