#pragma once

#include "engine/mp3_synthesis.h"

// The windowing half of Mp3Synthesis: 32 PCM samples from the sixteen slots of one channel.
namespace tunekiln::synthesis_window {

// Every product of a slot value (28 fraction bits) and a window coefficient (16 fraction bits) is
// cut back to 28 fraction bits on its own, rounding down, and the products add modulo 2^32. So the
// additions may come in any order, in any lanes, and the result stays the same in every bit.
inline std::uint32_t truncated_product(std::uint32_t value, std::int32_t coefficient) {
  return static_cast<std::uint32_t>((std::int64_t{static_cast<std::int32_t>(value)} * coefficient) >> 16);
}

// For one phase, the window column a slot of the current bank (rising rows) and of the other bank
// (falling rows) is weighed with; a mirrored output reads column 15 minus these.
struct Columns {
  int rising;
  int falling;
};
inline Columns columns_for(unsigned phase, unsigned slot) {
  const unsigned risingStart = phase & ~1u;
  const unsigned fallingStart = ((phase - 1) & 15) | 1;
  return {static_cast<int>((risingStart - 2 * slot) & 15), static_cast<int>((fallingStart - 2 * slot) & 15)};
}

void window_portable(const Mp3Synthesis::ChannelBank& bank, unsigned phase, mad_fixed_t* pcm);
// The same arithmetic in the widest vector lanes this processor has (AVX2), or window_portable.
Mp3Synthesis::WindowFunction fastest_window();

}  // namespace tunekiln::synthesis_window
