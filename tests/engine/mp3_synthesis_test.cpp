// Our synthesis against libmad's mad_synth_frame, sample by sample, on every frame of files made
// with libmp3lame. Extreme and wrapping subband samples are the fuzz target's (mp3_synthesis_fuzzer).
#include "engine/mp3_synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tests/support/mp3_maker.h"

namespace tunekiln::test {
namespace {

// libmad's synthesis and ours fed the same frames give the same samples in every bit; on a
// processor without the vector unit ours is libmad's, and there is nothing to compare.
struct Synthesisers {
  mad_synth libmad;
  Mp3Synthesis ours;
  Synthesisers() { mad_synth_init(&libmad); }
  bool agree(const mad_frame& frame) {
    mad_synth_frame(&libmad, &frame);
    ours.synthesise(frame);
    const mad_pcm& a = libmad.pcm;
    const mad_pcm& b = ours.pcm();
    bool same = a.samplerate == b.samplerate && a.channels == b.channels && a.length == b.length;
    for (int channel = 0; same && channel < a.channels; ++channel)
      same = std::equal(a.samples[channel], a.samples[channel] + a.length, b.samples[channel]);
    return same;
  }
  void mute() {
    mad_synth_mute(&libmad);
    ours.mute();
  }
};

// The rate and the channel count
using FileShape = std::tuple<int, int>;
struct Mp3SynthesisOnFiles : ::testing::TestWithParam<FileShape> {};

TEST_P(Mp3SynthesisOnFiles, EveryFrameMatchesLibmadAlsoAfterAMute) {
  if (!Mp3Synthesis::vectorised()) GTEST_SKIP() << "no AVX2: the synthesis is libmad's";
  const auto [rate, channels] = GetParam();
  Bytes mp3 = make_mp3({.tone = {.sampleRate = rate, .channels = channels, .noisySweep = true},
                        .variableBitrate = true});
  mp3.resize(mp3.size() + MAD_BUFFER_GUARD);  // zeros behind the last frame
  mad_stream stream;
  mad_frame frame;
  mad_stream_init(&stream);
  mad_frame_init(&frame);
  mad_stream_buffer(&stream, mp3.data(), mp3.size());
  Synthesisers synthesisers;
  int frames = 0;
  while (mad_frame_decode(&frame, &stream) == 0 || MAD_RECOVERABLE(stream.error)) {
    if (stream.error != MAD_ERROR_NONE) continue;
    // The rate gives the MPEG version, and with it the samples a frame holds.
    ASSERT_EQ(frame.header.samplerate, static_cast<unsigned>(rate));
    ASSERT_EQ(MAD_NCHANNELS(&frame.header), static_cast<unsigned>(channels));
    if (++frames == 10) synthesisers.mute();  // as the decoder does after a seek
    ASSERT_TRUE(synthesisers.agree(frame)) << "frame " << frames;
  }
  EXPECT_EQ(stream.error, MAD_ERROR_BUFLEN);
  EXPECT_GE(frames, 2 * rate / 1152);
  mad_frame_finish(&frame);
  mad_stream_finish(&stream);
}

// MPEG-2.5, MPEG-2 and MPEG-1 rates, mono and joint stereo: the synthesis sees the channel count
// and the samples a frame holds (36 in MPEG-1, 18 in MPEG-2 and 2.5).
constexpr int kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
INSTANTIATE_TEST_SUITE_P(EveryVersionAndRate, Mp3SynthesisOnFiles,
                         ::testing::Combine(::testing::ValuesIn(kRates), ::testing::Values(1, 2)));

}  // namespace
}  // namespace tunekiln::test
