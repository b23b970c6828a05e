// The player's MP3 decoder on bytes in memory, handed to it through its source opener: open,
// getInfo, reads of changing sizes to the end, and seeks to places the input's first bytes
// choose. The Xing header parser also gets the raw bytes, so it is reached without a frame.
#include <array>
#include <cstdlib>
#include <memory>
#include <span>

#include "engine/mp3_decoder.h"
#include "engine/mp3_stream_scan.h"

namespace tunekiln::fuzz {
namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void read_to_end(Mp3Decoder& decoder) {
  static constexpr std::array<std::size_t, 4> kPieces = {4096, 3, 6, 32768};
  static std::array<std::uint8_t, 32768> buffer;
  for (std::size_t round = 0;; ++round) {
    const std::size_t capacity = kPieces[round % kPieces.size()];
    std::size_t size = capacity;
    const ReadResult result = decoder.read(buffer.data(), size);
    check(size <= capacity);
    check(result != ReadResult::failed);  // memory never fails
    decoder.getInfo();
    check(decoder.getPosition() >= 0);
    if (result == ReadResult::end) return;
  }
}

}  // namespace
}  // namespace tunekiln::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using namespace tunekiln::fuzz;
  const std::span<const std::uint8_t> bytes(data, size);

  XingHeader xing;
  mad_bitptr bits;
  mad_bit_init(&bits, data);
  xing_parse(xing, bits, static_cast<unsigned int>(size * 8));

  Mp3Decoder decoder([bytes](const std::string&) { return input_over(std::make_unique<MemoryByteReader>(bytes)); });
  if (!decoder.open("memory")) return 0;
  decoder.getInfo();
  read_to_end(decoder);
  const std::uint32_t numerator = size > 0 ? data[0] : 0;
  const std::uint32_t denominator = size > 1 ? data[1] : 0;
  for (const auto& [n, d] : {std::pair{numerator, denominator}, std::pair{1u, 2u}, std::pair{1u, 1u}, std::pair{0u, 1u}}) {
    decoder.seek(n, d);
    read_to_end(decoder);
  }
  decoder.getInfo();
  return 0;
}
