#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// The bytes the MP3 decoder reads, one after another. Offsets and sizes are 32-bit; the source
// is closed by destroying it.
class InputSource {
 public:
  virtual ~InputSource() = default;

  // False on a read failure; `got` receives the bytes read, 0 at the end of the input.
  virtual bool read(void* buffer, std::uint32_t count, std::uint32_t& got) = 0;
  // Sets the read position, counted from the start; a position beyond the end reads nothing.
  virtual void seekTo(std::uint32_t offset) = 0;
  virtual std::uint32_t tell() = 0;
  virtual std::uint32_t size() = 0;
  virtual bool canSeek() = 0;
};

// The bytes of any reader, a memory buffer for example.
std::unique_ptr<InputSource> input_over(std::shared_ptr<const ByteReader> reader);

// The bytes of `file` that may hold MPEG audio: the data chunk of a WAVE file of MPEG layer III
// (format tag 0x55), or the whole of a file that is neither WAVE nor AIFF. Nothing for any other
// WAVE or AIFF file, whose samples could pass for MPEG frames by chance. The reader shares `file`.
std::shared_ptr<const ByteReader> mpeg_audio_bytes(std::shared_ptr<const ByteReader> file);

}  // namespace tunekiln
