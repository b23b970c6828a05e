// The player's MP3 decoder on bytes in memory, handed to it through its source opener: open,
// getInfo, reads of changing sizes to the end, and seeks to places the input's first bytes
// choose. The Xing header parser also gets the raw bytes, so it is reached without a frame.
#include <memory>
#include <span>

#include "engine/mp3_decoder.h"
#include "engine/mp3_stream_scan.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  const std::span<const std::uint8_t> bytes(data, size);
  XingHeader xing;
  mad_bitptr bits;
  mad_bit_init(&bits, data);
  xing_parse(xing, bits, static_cast<unsigned int>(size * 8));

  Mp3Decoder decoder([bytes](const std::string&) { return input_over(std::make_unique<MemoryByteReader>(bytes)); });
  if (!decoder.open("memory")) return 0;
  decoder.getInfo();
  fuzz::read_to_end(decoder, false);
  const std::uint32_t numerator = size > 0 ? data[0] : 0, denominator = size > 1 ? data[1] : 0;
  const std::pair<std::uint32_t, std::uint32_t> seeks[] = {{numerator, denominator}, {1, 2}, {1, 1}, {0, 1}};
  for (const auto& [n, d] : seeks) {
    decoder.seek(n, d);
    fuzz::read_to_end(decoder, false);
  }
  return 0;
}
