#pragma once

#include <mad.h>

#include <cstdint>

namespace tunekiln {

// The polyphase synthesis of MPEG audio: turns a decoded frame's subband samples into PCM that is
// bit for bit what libmad's mad_synth_frame gives (64-bit fixed point, full sample rate), in vector
// lanes where the processor allows. Holds its own filter bank, so one object takes the place of a
// mad_synth for one stream.
class Mp3Synthesis {
 public:
  Mp3Synthesis();

  // True where the processor has the vector unit (AVX2) this synthesis is written for; elsewhere
  // the object hands each frame to libmad's own synthesis, which is faster than scalar code of ours.
  static bool vectorised();

  // Synthesises every subband sample of `frame` into pcm(), as mad_synth_frame does into
  // mad_synth::pcm: 12, 18 or 36 slots of 32 samples per channel, by the frame's layer and version.
  void synthesise(const mad_frame& frame);
  // Forgets what earlier frames left in the filter bank, as mad_synth_mute does (after a seek).
  void mute();

  const mad_pcm& pcm() const { return vectorised_ ? pcm_ : libmad_.pcm; }

  // The DCT outputs one synthesis slot keeps, laid out for the windowing: `rising[j]` holds
  // output 16 + j, `falling[j]` output 16 - j. Rows are padded so a vector load at any lane stays inside.
  static constexpr int kRowStride = 24;
  struct alignas(32) Slot {
    std::uint32_t rising[kRowStride];
    std::uint32_t falling[kRowStride];
  };
  // Sixteen phases of one channel, [phase & 1][phase >> 1], the order in which the window reads them.
  using ChannelBank = Slot[2][8];

 private:
  // `slots` rows of 32 subband samples of one channel, the first at `phase`, into 32 PCM samples
  // each; compiled for AVX2 alone, in a unit of its own.
  static void synthesiseChannel(ChannelBank& bank, unsigned phase, const mad_fixed_t (*subbands)[32],
                                unsigned slots, mad_fixed_t* pcm);

  bool vectorised_;
  ChannelBank banks_[2];
  unsigned phase_ = 0;
  mad_pcm pcm_{};
  mad_synth libmad_;
};

}  // namespace tunekiln
