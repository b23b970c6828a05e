#include "engine/waveform_envelope.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>

#include "engine/player_engine.h"
#include "platform/thread_priority.h"

namespace tunekiln {
namespace {

static_assert(std::endian::native == std::endian::little, "decoders hand out little-endian PCM");
static_assert(std::has_single_bit(WaveformEnvelope::kBuckets));

// Nothing seen yet: any sample narrows it.
constexpr SampleRange kEmptyRange{std::numeric_limits<std::int16_t>::max(), std::numeric_limits<std::int16_t>::min()};

SampleRange merged(SampleRange a, SampleRange b) {
  return {std::min(a.low, b.low), std::max(a.high, b.high)};
}

// Frames asked of the decoder at a time: few calls, yet a prompt stop.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::chrono::milliseconds kGrowthInterval{40};  // about as often as a screen can show it
constexpr int kBackgroundNiceSteps = 10;

}  // namespace

void WaveformEnvelope::begin(std::int32_t sampleRate, int channels, std::uint64_t expectedFrames) {
  std::lock_guard lock(mutex_);
  sampleRate_ = sampleRate;
  channels_ = std::clamp(channels, 1, 2);
  expectedFrames_ = expectedFrames;
  framesPerBucket_ = std::max<std::uint64_t>(1, (expectedFrames + kBuckets - 1) / kBuckets);
  buckets_.assign(kBuckets, {kEmptyRange, kEmptyRange});
}

void WaveformEnvelope::foldInHalf() {
  for (std::size_t bucket = 0; bucket < kBuckets / 2; ++bucket) {
    for (int channel = 0; channel < 2; ++channel) {
      buckets_[bucket][channel] = merged(buckets_[2 * bucket][channel], buckets_[2 * bucket + 1][channel]);
    }
  }
  std::fill(buckets_.begin() + kBuckets / 2, buckets_.end(), std::array{kEmptyRange, kEmptyRange});
  framesPerBucket_ *= 2;
}

void WaveformEnvelope::add(const std::int16_t* samples, std::size_t frames) {
  std::lock_guard lock(mutex_);
  if (buckets_.empty()) return;
  while (frames > 0) {
    const std::uint64_t bucket = framesAdded_ / framesPerBucket_;
    if (bucket >= kBuckets) {
      foldInHalf();
      continue;
    }
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(frames, (bucket + 1) * framesPerBucket_ - framesAdded_));
    auto& ranges = buckets_[bucket];
    if (channels_ == 2) {
      SampleRange left = ranges[0], right = ranges[1];
      for (std::size_t frame = 0; frame < count; ++frame) {
        left = merged(left, {samples[2 * frame], samples[2 * frame]});
        right = merged(right, {samples[2 * frame + 1], samples[2 * frame + 1]});
      }
      ranges = {left, right};
    } else {
      const auto [low, high] = std::minmax_element(samples, samples + count);
      ranges[0] = merged(ranges[0], {*low, *high});
    }
    samples += count * static_cast<std::size_t>(channels_);
    frames -= count;
    framesAdded_ += count;
  }
}

void WaveformEnvelope::finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
}

int WaveformEnvelope::channels() const {
  std::lock_guard lock(mutex_);
  return channels_;
}

std::uint64_t WaveformEnvelope::spanFrames() const {
  return finished_ ? framesAdded_ : std::max(expectedFrames_, framesAdded_);
}

std::uint64_t WaveformEnvelope::lengthMilliseconds() const {
  std::lock_guard lock(mutex_);
  return sampleRate_ > 0 ? spanFrames() * 1000 / static_cast<std::uint64_t>(sampleRate_) : 0;
}

std::vector<EnvelopeColumn> WaveformEnvelope::columns(std::size_t width) const {
  std::vector<EnvelopeColumn> shown(width);
  std::lock_guard lock(mutex_);
  const std::uint64_t span = spanFrames();
  for (std::size_t column = 0; column < width && span > 0; ++column) {
    const std::uint64_t first = column * span / width;
    if (first >= framesAdded_) break;
    // A strip wider than the stream has frames shows a frame in several columns.
    const std::uint64_t end = std::clamp((column + 1) * span / width, first + 1, framesAdded_);
    EnvelopeColumn& out = shown[column];
    out.read = true;
    for (int channel = 0; channel < channels_; ++channel) {
      SampleRange range = kEmptyRange;
      for (std::uint64_t bucket = first / framesPerBucket_; bucket <= (end - 1) / framesPerBucket_; ++bucket) {
        range = merged(range, buckets_[bucket][channel]);
      }
      out.channels[channel] = range;
    }
  }
  return shown;
}

namespace {

// The scan runs beside the player: its dither must not take from the player's.
DecoderSlots dithering_privately(DecoderSlots decoders) {
  for (const auto& decoder : decoders) {
    if (decoder) decoder->ditherPrivately();
  }
  return decoders;
}

}  // namespace

EnvelopeScan::EnvelopeScan(std::string path, DecoderSlots decoders, std::function<void()> grew)
    : decoders_(dithering_privately(std::move(decoders))),
      grew_(std::move(grew)),
      thread_([this, path = std::move(path)] { run(path); }) {}

EnvelopeScan::~EnvelopeScan() {
  stop_ = true;
  thread_.join();
}

void EnvelopeScan::run(const std::string& path) {
  lower_this_thread_priority(kBackgroundNiceSteps);  // the sound and the window come first
  const auto slot = choose_decoder(decoders_, path).slot;
  if (!slot) return;
  Decoder& decoder = *decoders_[*slot];
  const StreamInfo info = decoder.getInfo();
  const int channels = info.stereo == 1 ? 2 : 1;
  const std::size_t bytesPerSample = info.sixteenBit == 1 ? 2 : 1;
  const std::size_t frameBytes = bytesPerSample * static_cast<std::size_t>(channels);
  envelope_->begin(info.sampleRate, channels,
                   static_cast<std::uint64_t>(std::max(info.lengthSeconds, 0)) *
                       static_cast<std::uint64_t>(std::max(info.sampleRate, 0)));

  std::vector<std::int16_t> block(kBlockBytes / sizeof(std::int16_t));
  std::vector<std::int16_t> widened;  // 8-bit samples as 16-bit ones
  auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
  std::size_t carried = 0;  // bytes of a frame that a read split
  auto lastGrowth = std::chrono::steady_clock::now();
  ReadResult result = ReadResult::more;
  while (result == ReadResult::more && !stop_) {
    std::size_t size = kBlockBytes - carried;
    result = decoder.read(bytes + carried, size);
    size += carried;
    const std::size_t frames = size / frameBytes;
    if (bytesPerSample == 2) {
      envelope_->add(block.data(), frames);
    } else {
      widened.resize(frames * static_cast<std::size_t>(channels));
      // Unsigned 8-bit samples centre on 128.
      for (std::size_t i = 0; i < widened.size(); ++i) widened[i] = static_cast<std::int16_t>((bytes[i] - 128) * 256);
      envelope_->add(widened.data(), frames);
    }
    carried = size - frames * frameBytes;
    std::memmove(bytes, bytes + frames * frameBytes, carried);
    if (const auto now = std::chrono::steady_clock::now(); now - lastGrowth >= kGrowthInterval) {
      lastGrowth = now;
      grew_();
    }
  }
  // A stream that failed short of its end keeps the length it promised: what was read stays
  // where it belongs.
  if (result == ReadResult::end) envelope_->finish();
  decoder.close();
  if (!stop_) grew_();
}

}  // namespace tunekiln
