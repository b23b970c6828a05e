// The audio input reader on files the tests write: what it tells the encoder and the values it
// delivers, against the samples the test stored.
#include "encoder/audio_input.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <tuple>

#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using Values = std::vector<double>;
using Samples = std::vector<std::int64_t>;
// A float file's full scale among the integers.
constexpr double kFull = 0x1p31;

// What the reader told a fresh encoder (channels, rate, frames) and the values it delivered: the
// channels interleaved, a float file's reals at kFull.
std::tuple<int, int, unsigned long, Values> read(const Bytes& file) {
  const std::unique_ptr<lame_global_flags, decltype(&lame_close)> owner(lame_init(), lame_close);
  lame_t lame = owner.get();
  AudioInput in{.messages = std::tmpfile()};
  const bool opened = attach_audio_input(in, lame, opened_from(std::make_shared<MemoryByteReader>(file)));
  const bool ready = opened && lame_init_params(lame) >= 0;
  const int channels = lame_get_num_channels(lame);
  Values values;
  FrameSamples f;
  for (std::optional<std::size_t> n; ready && (n = read_audio_frame(in, lame, f)) && *n > 0;) {
    for (std::size_t i = 0; i < *n; ++i) {
      values.push_back(in.realSamples() ? f.realLeft[i] * kFull : f.left[i]);
      if (channels == 2) values.push_back(in.realSamples() ? f.realRight[i] * kFull : f.right[i]);
    }
  }
  EXPECT_FALSE(in.failure);
  std::fclose(in.messages);
  return {channels, lame_get_in_samplerate(lame), lame_get_num_samples(lame), values};
}

// `samples` in `bytes` bytes each, high byte first.
Bytes big_endian(const Samples& samples, int bytes) {
  Bytes out;
  for (const std::int64_t s : samples) {
    for (int b = bytes - 1; b >= 0; --b) out.push_back(std::uint8_t(s >> 8 * b));
  }
  return out;
}

// Every sample encoding of each kind of file (integers mono and stereo) against the levels of the
// values the test stored (integers scaled to 32 bits, floats to kFull); then where the header
// puts the samples and their rate, and input without one as raw.
TEST(AudioInput, EveryEncoding) {
  const Values xs{0.5, -0.25, 3.0, NAN, -1.0, 0x1p-20};
  Samples singles;
  for (const double x : xs) singles.push_back(std::bit_cast<std::uint32_t>(float(x)));
  // Beyond full scale floats keep what the encoder takes; not-a-number is silence.
  const Values reals{0.5 * kFull, -0.25 * kFull, 1.5 * kFull, 0, -kFull, 0x1p11};
  const Bytes ramp = big_endian({1, 2, 3, 4}, 2);
  const Values ramped{1 << 16, 2 << 16, 3 << 16, 4 << 16};
  // A chunk larger than the reader keeps in memory is skipped, and so is one behind the samples.
  const WavShape chunky{.sampleRate = 22050, .chunksBeforeData = make_chunk("JUNK", Bytes(3 << 20, 'd')),
                        .bytesAfterData = make_chunk("LIST", Bytes(8))};
  const WavShape f32{.bits = 32, .formatTag = 3}, f64{.bits = 64, .formatTag = 3};
  std::vector<std::tuple<Bytes, Values, int, int>> cases = {
      {make_wav(chunky, samples16({1, 2, 3, 4})), ramped, 2, 22050},
      {make_aiff({.sampleRate = 8000, .soundBeforeCommon = true}, ramp), ramped, 2, 8000},
      // Little-endian AIFC takes the WAVE reader's ways.
      {make_aiff({"AIFC", "sowt"}, samples16({1, 2, 3, 4})), ramped, 2, 44100},
      {ramp, ramped, 2, 44100},
      // Floats share the integers' split into channels.
      {make_wav(f32, encode_samples(f32, xs)), reals, 2, 44100},
      {make_wav(f64, encode_samples(f64, xs)), reals, 2, 44100},
      {make_aiff({"AIFC", "fl32", 2, 32}, big_endian(singles, 4)), reals, 2, 44100}};
  for (const std::int16_t channels : {1, 2}) {
    const auto c = std::uint16_t(channels);
    for (const std::int16_t bits : {8, 16, 24, 32}) {
      const std::int64_t top = std::int64_t{1} << (bits - 1);
      const Samples samples{top - 1, -top, -1, 1, top / 3, -top / 5};
      // 8-bit samples also stand a little above their step, as the encoder expects.
      Values levels;
      for (const auto s : samples) levels.push_back(std::ldexp(s, 32 - bits) + (bits == 8 ? 0x7F0000 : 0));
      // WAVE's 8-bit samples are unsigned around 128, AIFF's signed.
      const WavShape shape{.channels = c, .bits = std::uint16_t(bits)};
      const Bytes wav = make_wav(shape, encode_samples(shape, Values(samples.begin(), samples.end())));
      const Bytes aiff = make_aiff({.channels = channels, .sampleSize = bits}, big_endian(samples, bits / 8));
      cases.insert(cases.end(), {{wav, levels, c, 44100}, {aiff, levels, c, 44100}});
    }
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [file, levels, channels, rate] = cases[i];
    EXPECT_EQ(read(file), std::tuple(channels, rate, levels.size() / channels, levels)) << "case " << i;
  }
}

}  // namespace
}  // namespace tunekiln::test
