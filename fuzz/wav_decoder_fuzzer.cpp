// The player's WAV decoder on one input in memory: open, reads of changing sizes to the end,
// and seeks to places the input's first bytes choose, inside, at and beyond the end.
#include <array>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "engine/wav_decoder.h"

namespace tunekiln::fuzz {
namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Reads to the end in pieces of odd and even sizes; the bytes handed out.
std::uint64_t read_to_end(WavDecoder& decoder) {
  static constexpr std::array<std::size_t, 4> kPieces = {4096, 1, 3, 32768};
  static std::array<std::uint8_t, 32768> buffer;
  std::uint64_t total = 0;
  std::size_t emptyReads = 0;
  for (std::size_t round = 0;; ++round) {
    const std::size_t capacity = kPieces[round % kPieces.size()];
    std::size_t size = capacity;
    const ReadResult result = decoder.read(buffer.data(), size);
    check(size <= capacity);
    check(result != ReadResult::failed);  // memory never fails
    total += size;
    check(decoder.getPosition() >= 0);
    if (result == ReadResult::end) return total;
    // Only a piece too small for a frame may come back empty, and a bigger one follows.
    emptyReads = size == 0 ? emptyReads + 1 : 0;
    check(emptyReads < kPieces.size());
  }
}

}  // namespace
}  // namespace tunekiln::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using namespace tunekiln::fuzz;
  const std::span<const std::uint8_t> bytes(data, size);
  WavDecoder decoder([bytes](const std::string&) { return std::make_unique<MemoryByteReader>(bytes); });
  if (!decoder.open("memory")) return 0;
  const StreamInfo info = decoder.getInfo();
  check(info.lengthSeconds >= 0 && info.sampleRate > 0);
  const std::uint64_t whole = read_to_end(decoder);
  // No encoding comes out wider than it is stored.
  check(whole <= size);
  const std::uint32_t numerator = size > 0 ? data[0] : 0;
  const std::uint32_t denominator = size > 1 ? data[1] : 0;
  for (const auto& [n, d] : {std::pair{numerator, denominator}, std::pair{1u, 1u}, std::pair{3u, 2u}, std::pair{0u, 1u},
                             std::pair{0xFFFFFFFFu, 1u}}) {
    decoder.seek(n, d);
    check(read_to_end(decoder) <= whole);
  }
  decoder.close();
  return 0;
}
