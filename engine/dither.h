#pragma once

#include <mad.h>

#include <cstddef>
#include <cstdint>

namespace tunekiln {

// Noise shaping and random dither of one output channel, carried from sample to sample.
struct DitherState {
  mad_fixed_t error[3] = {0, 0, 0};
  std::uint32_t random = 0;
};

// One for the left and one for the right output channel, for the whole process: they start at
// zero and carry over between reads, seeks and files. Used on the engine thread only.
extern DitherState leftDitherState;
extern DitherState rightDitherState;

// Turns `count` samples of libmad's fixed point (28 fraction bits) into 16-bit little-endian
// samples, the first at `out` and each next one `strideBytes` further.
void dither_to_16(DitherState& state, const mad_fixed_t* samples, std::size_t count, std::uint8_t* out,
                  std::size_t strideBytes);
// Both channels in one pass, into interleaved frames.
void dither_stereo_to_16(const mad_fixed_t* left, const mad_fixed_t* right, std::size_t count, std::uint8_t* out,
                         DitherState& leftState = leftDitherState, DitherState& rightState = rightDitherState);

// The states a decoder dithers with: the process-wide ones, or its own for a reading beside the
// player's (the waveform), which must change nothing the player hands out.
class DitherChoice {
 public:
  DitherState& left() { return own_ ? ownLeft_ : leftDitherState; }
  DitherState& right() { return own_ ? ownRight_ : rightDitherState; }
  void useOwn() { own_ = true; }

 private:
  bool own_ = false;
  DitherState ownLeft_, ownRight_;
};

}  // namespace tunekiln
