// Our synthesis against libmad's mad_synth_frame, sample by sample, on every frame of files made
// with libmp3lame in each version, mode and rate. Extreme and wrapping subband samples are the fuzz
// target's (mp3_synthesis_fuzzer).
#include "engine/mp3_synthesis.h"

#include <gtest/gtest.h>
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

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

// Two seconds of a loud sweep with noise on top, so every subband carries something.
std::vector<unsigned char> encode(int rate, MPEG_mode mode) {
  std::vector<short> left(2 * rate), right(2 * rate);
  unsigned noise = 1;
  for (std::size_t i = 0; i < left.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    noise = noise * 1664525u + 1013904223u;
    left[i] = static_cast<short>(20000 * std::sin(2000 * t * t) + static_cast<short>(noise >> 16) / 4);
    right[i] = static_cast<short>(24000 * std::sin(3000 * t) - static_cast<short>(noise >> 16) / 3);
  }
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, mode == MONO ? 1 : 2);
  lame_set_mode(lame, mode);
  lame_set_VBR(lame, vbr_default);
  EXPECT_EQ(lame_init_params(lame), 0);
  std::vector<unsigned char> mp3(left.size() * 2 + 8192);
  int size = lame_encode_buffer(lame, left.data(), right.data(), static_cast<int>(left.size()), mp3.data(),
                                static_cast<int>(mp3.size()));
  size += lame_encode_flush(lame, mp3.data() + size, static_cast<int>(mp3.size()) - size);
  lame_close(lame);
  mp3.resize(static_cast<std::size_t>(size) + MAD_BUFFER_GUARD);  // zeros behind the last frame
  return mp3;
}

using FileShape = std::tuple<int, MPEG_mode>;
struct Mp3SynthesisOnFiles : ::testing::TestWithParam<FileShape> {};

TEST_P(Mp3SynthesisOnFiles, EveryFrameMatchesLibmadAlsoAfterAMute) {
  if (!Mp3Synthesis::vectorised()) GTEST_SKIP() << "no AVX2: the synthesis is libmad's";
  const auto [rate, mode] = GetParam();
  std::vector<unsigned char> mp3 = encode(rate, mode);
  const int version = rate >= 32000   ? 0
                      : rate >= 16000 ? MAD_FLAG_LSF_EXT
                                      : MAD_FLAG_LSF_EXT | MAD_FLAG_MPEG_2_5_EXT;
  const mad_mode madMode = mode == MONO     ? MAD_MODE_SINGLE_CHANNEL
                           : mode == STEREO ? MAD_MODE_STEREO
                                            : MAD_MODE_JOINT_STEREO;
  mad_stream stream;
  mad_frame frame;
  mad_stream_init(&stream);
  mad_frame_init(&frame);
  mad_stream_buffer(&stream, mp3.data(), mp3.size());
  Synthesisers synthesisers;
  int frames = 0;
  while (mad_frame_decode(&frame, &stream) == 0 || MAD_RECOVERABLE(stream.error)) {
    if (stream.error != MAD_ERROR_NONE) continue;
    ASSERT_EQ(frame.header.samplerate, static_cast<unsigned>(rate));
    ASSERT_EQ(frame.header.flags & (MAD_FLAG_LSF_EXT | MAD_FLAG_MPEG_2_5_EXT), version);
    ASSERT_EQ(frame.header.mode, madMode);
    if (++frames == 10) synthesisers.mute();  // as the decoder does after a seek
    ASSERT_TRUE(synthesisers.agree(frame)) << "frame " << frames;
  }
  EXPECT_EQ(stream.error, MAD_ERROR_BUFLEN);
  EXPECT_GE(frames, 2 * rate / 1152);
  mad_frame_finish(&frame);
  mad_stream_finish(&stream);
}

// MPEG-2.5, MPEG-2 and MPEG-1 rates.
constexpr int kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr MPEG_mode kModes[] = {MONO, STEREO, JOINT_STEREO};
INSTANTIATE_TEST_SUITE_P(EveryVersionModeAndRate, Mp3SynthesisOnFiles,
                         ::testing::Combine(::testing::ValuesIn(kRates), ::testing::ValuesIn(kModes)));

}  // namespace
}  // namespace tunekiln::test
