#pragma once

#include <mad.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audiofile/byte_reader.h"
#include "engine/mp3_synthesis.h"

namespace tunekiln {

// What a frame leaves for the frames behind it: the bit reservoir, the overlap of the
// transforms and the filter bank. A sequential decoder given it goes on as if it had decoded
// every frame before.
struct Mp3CarriedState {
  bool hasMainData = false;
  unsigned char mainData[MAD_BUFFER_MDLEN];
  unsigned int mainDataLength = 0;
  mad_fixed_t overlap[2][32][18];
  Mp3Synthesis synthesis;
};

struct Mp3DecodedFrame {
  mad_pcm pcm;
  unsigned long bitrate;
  mad_timer_t duration;
};

// A run of consecutive frames decoded by a decoder of its own.
struct Mp3Chunk {
  // Every frame decoded without an error, each where the walk found it and of the stream:
  // only then are `frames` and `state` what a decoder from the start gives.
  bool clean = false;
  std::size_t firstFrame = 0;    // the index of its first frame among the offsets
  std::uint64_t endOffset = 0;   // where its last frame ends
  // Left uninitialised until decoded: zeroing them costs as much as copying them.
  std::unique_ptr<Mp3DecodedFrame[]> frames;
  std::size_t frameCount = 0;
  std::unique_ptr<Mp3CarriedState> state;  // after the chunk's last frame
};

// Decodes the frames that start at `offsets` in chunks on `workers` threads, and hands the
// chunks out in order. Each chunk's decoder starts a few frames early, so that its bit reservoir
// and overlap are full by its first frame; those frames' samples are thrown away. The last
// offset only bounds the last chunk: that frame and what follows it are left to the caller.
class Mp3ChunkedDecode {
 public:
  static constexpr std::size_t kFramesPerChunk = 128;

  Mp3ChunkedDecode(std::shared_ptr<const ByteReader> audio, std::vector<std::uint64_t> offsets,
                   unsigned int sampleRate, mad_layer layer, unsigned int workers);
  Mp3ChunkedDecode(const Mp3ChunkedDecode&) = delete;
  Mp3ChunkedDecode& operator=(const Mp3ChunkedDecode&) = delete;
  ~Mp3ChunkedDecode();

  // The next chunk in order, once decoded; nothing after the last.
  std::unique_ptr<Mp3Chunk> next();
  // Where each frame starts, as given.
  const std::vector<std::uint64_t>& offsets() const { return offsets_; }

 private:
  void work();
  std::unique_ptr<Mp3Chunk> decodeChunk(std::size_t index) const;

  std::shared_ptr<const ByteReader> audio_;
  std::vector<std::uint64_t> offsets_;
  unsigned int sampleRate_;
  mad_layer layer_;
  std::size_t chunkCount_;
  std::size_t inFlightLimit_;  // chunks decoded or being decoded but not yet handed out

  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t nextToDecode_ = 0;
  std::size_t nextToHand_ = 0;
  bool stopping_ = false;
  std::map<std::size_t, std::unique_ptr<Mp3Chunk>> done_;
  std::vector<std::thread> threads_;
};

// The decoding threads a machine takes: `jobs`, but never more than it has cores; 0 for every core.
unsigned int decoding_threads(unsigned int jobs);

}  // namespace tunekiln
