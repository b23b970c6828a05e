#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// The bytes the MP3 decoder reads: a file, or in a test whatever the test gives. Offsets and
// sizes are 32-bit; the source is closed by destroying it.
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
std::unique_ptr<InputSource> input_over(std::unique_ptr<ByteReader> reader);

// The named local file, or nothing when it does not open. Others may go on reading and
// writing it meanwhile.
std::unique_ptr<InputSource> input_open(const std::string& name);

}  // namespace tunekiln
