// The LIST/INFO tags of a WAVE file, read from any bytes.
#include <cstddef>
#include <cstdint>

#include "audiofile/info_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tunekiln::read_info_tags(tunekiln::MemoryByteReader({data, size}));
  return 0;
}
