#include "engine/mp3_chunked_decode.h"

#include <algorithm>
#include <cstring>

namespace tunekiln {
namespace {

// A fresh decoder starts this far before a chunk: the bit reservoir reaches back at most 511
// bytes, and the overlap and filter bank need the frames before the chunk's first synthesised.
constexpr std::uint64_t kLeadInBytes = 1536;
constexpr std::size_t kLeadInFrames = 2;
// Chunks decoded ahead of the one the caller waits for, with room for each thread to go on:
// a chunk of stereo frames takes about 1.2 MiB.
constexpr std::size_t kLargestInFlight = 24;

// libmad's stream and frame for one chunk, released however the chunk ends.
struct MadDecoder {
  mad_stream stream;
  mad_frame frame;
  MadDecoder() {
    mad_stream_init(&stream);
    mad_frame_init(&frame);
  }
  MadDecoder(const MadDecoder&) = delete;
  MadDecoder& operator=(const MadDecoder&) = delete;
  ~MadDecoder() {
    mad_frame_finish(&frame);
    mad_stream_finish(&stream);
  }
};

}  // namespace

unsigned int decoding_threads(unsigned int jobs) {
  const unsigned int cores = std::max(1u, std::thread::hardware_concurrency());
  return jobs == 0 ? cores : std::min(jobs, cores);
}

Mp3ChunkedDecode::Mp3ChunkedDecode(std::shared_ptr<const ByteReader> audio, std::vector<std::uint64_t> offsets,
                                   unsigned int sampleRate, mad_layer layer, unsigned int workers)
    : audio_(std::move(audio)), offsets_(std::move(offsets)), sampleRate_(sampleRate), layer_(layer) {
  const std::size_t frames = offsets_.empty() ? 0 : offsets_.size() - 1;
  chunkCount_ = (frames + kFramesPerChunk - 1) / kFramesPerChunk;
  workers = std::max(1u, workers);
  inFlightLimit_ = std::min<std::size_t>(2 * workers, kLargestInFlight);
  for (unsigned int i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

Mp3ChunkedDecode::~Mp3ChunkedDecode() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& thread : threads_) thread.join();
}

std::unique_ptr<Mp3Chunk> Mp3ChunkedDecode::next() {
  std::unique_lock lock(mutex_);
  if (nextToHand_ == chunkCount_) return nullptr;
  changed_.wait(lock, [this] { return done_.contains(nextToHand_); });
  auto chunk = std::move(done_[nextToHand_]);
  done_.erase(nextToHand_);
  ++nextToHand_;
  lock.unlock();
  changed_.notify_all();
  return chunk;
}

void Mp3ChunkedDecode::work() {
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] {
        return stopping_ || nextToDecode_ == chunkCount_ || nextToDecode_ < nextToHand_ + inFlightLimit_;
      });
      if (stopping_ || nextToDecode_ == chunkCount_) return;
      index = nextToDecode_++;
    }
    auto chunk = decodeChunk(index);
    {
      std::lock_guard lock(mutex_);
      done_[index] = std::move(chunk);
    }
    changed_.notify_all();
  }
}

std::unique_ptr<Mp3Chunk> Mp3ChunkedDecode::decodeChunk(std::size_t index) const {
  auto chunk = std::make_unique<Mp3Chunk>();
  const std::size_t first = index * kFramesPerChunk;
  const std::size_t last = std::min(first + kFramesPerChunk, offsets_.size() - 1);
  chunk->firstFrame = first;
  std::size_t lead = first;
  while (lead > 0 && (first - lead < kLeadInFrames || offsets_[first] - offsets_[lead] < kLeadInBytes)) --lead;

  // The chunk's bytes and the guard's worth of the next frame, which libmad looks into for where
  // that frame's data begins, as it does when it decodes the whole file.
  std::vector<unsigned char> bytes(offsets_[last] + MAD_BUFFER_GUARD - offsets_[lead]);
  if (!audio_->readExactly(offsets_[lead], bytes.data(), bytes.size())) return chunk;

  MadDecoder decoder;
  auto state = std::make_unique<Mp3CarriedState>();
  mad_stream_buffer(&decoder.stream, bytes.data(), bytes.size());
  chunk->frames.reset(new Mp3DecodedFrame[last - first]);
  for (std::size_t frame = lead; frame < last;) {
    const int failed = mad_frame_decode(&decoder.frame, &decoder.stream);
    const auto at = offsets_[lead] + static_cast<std::uint64_t>(decoder.stream.this_frame - bytes.data());
    if (at != offsets_[frame]) return chunk;
    if (failed != 0) {
      // Only a lead-in frame may miss the reservoir that lies before the decoder's start.
      if (frame >= first || !MAD_RECOVERABLE(decoder.stream.error)) return chunk;
      ++frame;
      continue;
    }
    const mad_header& header = decoder.frame.header;
    if (header.samplerate != sampleRate_ || header.layer != layer_) return chunk;
    state->synthesis.synthesise(decoder.frame);
    if (frame >= first) {
      Mp3DecodedFrame& decoded = chunk->frames[chunk->frameCount++];
      const mad_pcm& pcm = state->synthesis.pcm();
      decoded.pcm.samplerate = pcm.samplerate;
      decoded.pcm.channels = pcm.channels;
      decoded.pcm.length = pcm.length;
      for (int channel = 0; channel < pcm.channels; ++channel) {
        std::copy_n(pcm.samples[channel], pcm.length, decoded.pcm.samples[channel]);
      }
      decoded.bitrate = header.bitrate;
      decoded.duration = header.duration;
    }
    ++frame;
  }

  chunk->endOffset = offsets_[lead] + static_cast<std::uint64_t>(decoder.stream.next_frame - bytes.data());
  if (decoder.stream.main_data != nullptr) {
    state->hasMainData = true;
    std::memcpy(state->mainData, *decoder.stream.main_data, sizeof state->mainData);
  }
  state->mainDataLength = decoder.stream.md_len;
  if (decoder.frame.overlap != nullptr) {
    std::memcpy(state->overlap, *decoder.frame.overlap, sizeof state->overlap);
  } else {
    std::memset(state->overlap, 0, sizeof state->overlap);
  }
  chunk->state = std::move(state);
  chunk->clean = true;
  return chunk;
}

}  // namespace tunekiln
