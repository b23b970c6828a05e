#pragma once

#include <mad.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "engine/decoder.h"
#include "engine/dither.h"
#include "engine/mp3_chunked_decode.h"
#include "engine/mp3_length_walk.h"
#include "engine/mp3_synthesis.h"
#include "engine/mp3_stream_scan.h"

namespace tunekiln {

// MPEG audio through libmad, as dithered 16-bit PCM: a file of MPEG frames, or the data chunk
// of a WAVE file of MPEG layer III. Decoding starts at the first frame that the next one
// confirms, behind an ID3v2 tag and any junk. The length comes from a Xing or Info frame count,
// or is estimated from the bitrate until a walk over every frame header in the background has
// made it exact. Only frames of the stream it opened are played: the sound card plays at that
// stream's rate. A PCM WAVE or AIFF file is refused, whatever its samples look like.
class Mp3Decoder final : public Decoder {
 public:
  Mp3Decoder() = default;
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;
  ~Mp3Decoder() override;

  bool open(const OpenedFile& file) override;
  const char* name() const override { return "mp3"; }
  void ditherPrivately() override { dither_.useOwn(); }
  std::string refusal() const override { return refusal_; }
  void close() override;
  void seek(std::uint32_t numerator, std::uint32_t denominator) override;
  StreamInfo getInfo() override;
  ReadResult read(std::uint8_t* buffer, std::size_t& size) override;
  std::int32_t getPosition() override;
  void setLengthListener(std::function<void()> listener) override { lengthListener_ = std::move(listener); }
  // Where the length of getInfo() comes from: "xing" or "info" (the count of a Xing or Info
  // header), "frames" (the walk over every frame header) or "estimate" (the bitrate).
  const char* lengthSource() const override;
  void settleLength() override;
  // Where the length came from when the file was opened, before any walk: "xing", "info" or "estimate".
  const char* openingLengthSource() const;
  // The whole seconds of that length.
  std::int32_t openingLengthSeconds() const { return openingLengthSeconds_; }
  // Decoding to the end on up to `threads` threads, in chunks of frames that give the samples of
  // one decoder running through, from the next open on; a seek goes back to one thread.
  void decodeOnThreads(unsigned int threads) { threads_ = threads; }
  // Without the walk in the background, for a caller that walks the frames itself; from the
  // next open on.
  void walkLengthInBackground(bool walk) { walkInBackground_ = walk; }
  // A walk over every frame header of the open file's MPEG audio.
  Mp3FrameWalk walkFrames() const { return walk_mp3_frames(*audio_); }

 private:
  static constexpr std::uint32_t kBufferBytes = 40000;

  // The next frame's samples at pcm_, from the chunks or decoded here: more when one came.
  ReadResult nextFrame();
  // Starts the chunks where a walk over the frame headers finds where every frame lies.
  void startChunks();
  // The next frame of a clean chunk; false once the chunks have ended or one was not clean.
  bool nextChunkFrame();
  // Decoding goes on here behind the last clean chunk, from the state it left: false when the
  // bytes there could not be read.
  bool takeOver();
  // Decodes the next frame of the opened stream into frame_: more when one came.
  ReadResult decodeFrame();
  bool isOfStream(const mad_header& header) const {
    return header.samplerate == static_cast<unsigned int>(info_.sampleRate) && header.layer == layer_;
  }
  // Keeps the undecoded end of the buffer and reads behind it: more when bytes came. At the
  // input's end, once, the zero bytes libmad needs behind the last frame to decode it.
  ReadResult refill();
  // Up to `count` bytes from readPosition_ on, which they advance; false when a read failed.
  bool readAudio(unsigned char* into, std::uint32_t count, std::uint32_t& got);
  std::uint32_t audioSize32() const;
  // Hands out `count` samples per channel of the last synthesised frame.
  void convert(std::size_t count, std::uint8_t* out);

  std::shared_ptr<const ByteReader> audio_;  // the MPEG audio: the file, or a WAVE file's data chunk
  std::uint64_t readPosition_ = 0;
  std::string refusal_;
  std::function<void()> lengthListener_;
  std::unique_ptr<Mp3LengthWalk> lengthWalk_;  // only where no header gave the frame count
  std::uint32_t fileSize_ = 0;    // the whole file (or data chunk), ID3v2 tag included
  std::uint32_t audioStart_ = 0;  // the first frame
  mad_layer layer_ = MAD_LAYER_III;
  std::int32_t openingLengthSeconds_ = 0;
  bool guardGiven_ = false;
  XingHeader xing_;
  mad_stream stream_;
  mad_frame frame_;
  Mp3Synthesis synthesis_;
  unsigned int threads_ = 1;
  bool walkInBackground_ = true;
  DitherChoice dither_;
  bool chunksDue_ = false;  // until the first frame is read
  std::unique_ptr<Mp3ChunkedDecode> chunks_;
  std::unique_ptr<Mp3Chunk> chunk_;  // the last clean chunk taken
  std::size_t chunkFrame_ = 0;       // its next frame
  std::uint64_t window_ = 0;         // where buffer_ would start, had the chunks' frames been decoded here
  std::uint64_t audioSize_ = 0;
  const mad_pcm* pcm_ = nullptr;     // the frame being handed out
  unsigned long frameBitrate_ = 0;
  mad_timer_t frameDuration_ = mad_timer_zero;
  std::uint32_t synthesised_ = 0;  // samples per channel the last synthesis gave
  std::uint32_t consumed_ = 0;     // of which already handed out
  mad_timer_t position_;
  mad_timer_t duration_;
  std::uint32_t kbpsSum_ = 0;
  std::uint32_t frameCount_ = 0;
  StreamInfo info_;
  std::array<unsigned char, kBufferBytes + MAD_BUFFER_GUARD> buffer_;
  std::uint32_t fill_ = 0;
};

}  // namespace tunekiln
