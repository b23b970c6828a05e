// The player's WAV decoder on one input file: open, reads of changing sizes to the end, and
// seeks to places the input's first bytes choose, inside, at and beyond the end.
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>

#include "engine/wav_decoder.h"
#include "fuzz/scratch_folder.h"

namespace tunekiln::fuzz {
namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Reads to the end in pieces of odd and even sizes; the bytes handed out.
std::uint64_t read_to_end(WavDecoder& decoder, std::uint64_t fileSize) {
  static constexpr std::array<std::size_t, 4> kPieces = {4096, 1, 3, 32768};
  static std::array<std::uint8_t, 32768> buffer;
  std::uint64_t total = 0;
  for (std::size_t round = 0;; ++round) {
    const std::size_t capacity = kPieces[round % kPieces.size()];
    std::size_t size = capacity;
    const bool more = decoder.read(buffer.data(), size);
    check(size <= capacity);
    total += size;
    check(total <= fileSize);
    check(decoder.getPosition() >= 0);
    if (!more) return total;
  }
}

}  // namespace
}  // namespace tunekiln::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using namespace tunekiln::fuzz;
  const std::string path = scratch_folder() + "/in.wav";
  write_whole_file(path, data, size);
  WavDecoder decoder;
  if (decoder.open(path)) {
    const StreamInfo info = decoder.getInfo();
    check(info.lengthSeconds >= 0 && info.sampleRate >= 0);
    read_to_end(decoder, size);
    const std::uint32_t numerator = size > 0 ? data[0] : 0;
    const std::uint32_t denominator = size > 1 ? data[1] : 0;
    for (const auto& [n, d] : {std::pair{numerator, denominator}, std::pair{1u, 1u}, std::pair{3u, 2u}, std::pair{0u, 1u},
                               std::pair{0xFFFFFFFFu, 1u}}) {
      decoder.seek(n, d);
      read_to_end(decoder, size);
    }
    decoder.close();
  }
  ::unlink(path.c_str());
  return 0;
}
