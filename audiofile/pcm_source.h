#pragma once

#include <cstddef>
#include <cstdint>

#include "audiofile/audio_file_result.h"
#include "audiofile/info_tags.h"
#include "audiofile/pcm_format.h"

namespace tunekiln {

// What one read of frames delivered and, separately, why there were fewer.
struct FramesRead {
  std::size_t frames = 0;
  AudioFileResult status = AudioFileResult::ok;  // ok, endOfData, readFailed or damaged
};

// The samples of a compressed file, decoded as they are asked for and handed out as a WAVE
// file stores them: interleaved, little-endian, 8-bit samples unsigned around 128.
class PcmSource {
 public:
  virtual ~PcmSource() = default;

  virtual const PcmFormat& format() const = 0;
  // The length the file states, in frames.
  virtual std::uint64_t frames() const = 0;
  // Up to `count` frames from the position on; fewer only at the end of the stream or when it
  // cannot be decoded or read on.
  virtual FramesRead read(std::uint8_t* out, std::size_t count) = 0;
  // Moves to `frame` of the stream; false when the stream cannot get there.
  virtual bool seek(std::uint64_t frame) = 0;
  // What the file says of the recording.
  virtual InfoTags tags() const = 0;
  // False for a stream known to be cut short, though it decodes to the length it states.
  virtual bool whole() const { return true; }
};

}  // namespace tunekiln
