#pragma once

#include <cstdlib>

#include "engine/decoder.h"

namespace tunekiln::fuzz {

// A property that fails ends the run, which libFuzzer records as a finding.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// Reads to the end in pieces of odd and even sizes; gives the bytes handed out. Only a piece too
// small for a frame may come back empty when `emptyOnlyWhenSmall`, and a bigger one follows.
// Memory never fails to read: only a decoder of damaged compressed streams (`mayFail`) fails.
inline std::uint64_t read_to_end(Decoder& decoder, bool emptyOnlyWhenSmall, bool mayFail = false) {
  static constexpr std::size_t kPieces[] = {4096, 1, 3, 6, 32768};
  static std::uint8_t buffer[32768];
  std::uint64_t total = 0;
  for (std::size_t round = 0, emptyReads = 0;; ++round) {
    std::size_t size = kPieces[round % 5];
    const ReadResult result = decoder.read(buffer, size);
    check(size <= kPieces[round % 5] && (mayFail || result != ReadResult::failed));
    decoder.getInfo();
    check(decoder.getPosition() >= 0);
    total += size;
    if (result != ReadResult::more) return total;
    emptyReads = size == 0 ? emptyReads + 1 : 0;
    check(!emptyOnlyWhenSmall || emptyReads < 5);
  }
}

}  // namespace tunekiln::fuzz
