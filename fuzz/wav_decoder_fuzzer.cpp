// The player's WAV decoder on one input in memory: open, reads of changing sizes to the end,
// and seeks to places the input's first bytes choose, inside, at and beyond the end.
#include <memory>
#include <span>

#include "engine/wav_decoder.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using fuzz::check;
  const std::span<const std::uint8_t> bytes(data, size);
  WavDecoder decoder([bytes](const std::string&) { return std::make_unique<MemoryByteReader>(bytes); });
  if (!decoder.open("memory")) return 0;
  const StreamInfo info = decoder.getInfo();
  check(info.lengthSeconds >= 0 && info.sampleRate > 0);
  const std::uint64_t whole = fuzz::read_to_end(decoder, true);
  check(whole <= size);  // no encoding comes out wider than it is stored
  const std::uint32_t numerator = size > 0 ? data[0] : 0, denominator = size > 1 ? data[1] : 0;
  const std::pair<std::uint32_t, std::uint32_t> seeks[] = {
      {numerator, denominator}, {1, 1}, {3, 2}, {0, 1}, {0xFFFFFFFF, 1}};
  for (const auto& [n, d] : seeks) {
    decoder.seek(n, d);
    check(fuzz::read_to_end(decoder, true) <= whole);
  }
  decoder.close();
  return 0;
}
