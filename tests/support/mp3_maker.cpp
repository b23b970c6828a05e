#include "tests/support/mp3_maker.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tests/support/wav_builder.h"

namespace tunekiln::test {

std::vector<std::int16_t> make_tone(const ToneShape& tone) {
  const auto channels = static_cast<std::size_t>(tone.channels);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(tone.seconds * tone.sampleRate) * channels);
  std::uint32_t noise = 1;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i / channels) / tone.sampleRate, hz = i % channels ? 660.0 : 440.0;
    noise = noise * 1664525u + 1013904223u;
    const double sweep = 0.6 * std::sin(5 * hz * t * t) + (noise >> 16) / 0x1p18 - 0.125;
    const double x = tone.noisySweep ? 32767 * sweep : tone.amplitude * 32767 * std::sin(2 * M_PI * hz * t);
    samples[i] = static_cast<std::int16_t>(std::lround(x));
  }
  return samples;
}

Bytes little_endian_bytes(const std::vector<std::int16_t>& samples) {
  return encode_samples({}, {samples.begin(), samples.end()});
}

Bytes make_mp3(const Mp3Shape& shape) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, shape.tone.sampleRate);
  // No resampling: the decoder sees the tone's rate
  lame_set_out_samplerate(lame, shape.tone.sampleRate);
  lame_set_num_channels(lame, shape.tone.channels);
  // Fast; the tests look at the decoder, not at the encoding's quality
  lame_set_quality(lame, 7);
  lame_set_VBR(lame, shape.variableBitrate ? vbr_default : vbr_off);
  if (!shape.variableBitrate) lame_set_brate(lame, shape.kbps);
  lame_set_bWriteVbrTag(lame, shape.tagFrame);
  lame_set_free_format(lame, shape.freeFormat);
  auto pcm = make_tone(shape.tone);
  const int frames = static_cast<int>(pcm.size()) / shape.tone.channels;
  Bytes mp3(pcm.size() * 2 + 16384);
  const int room = static_cast<int>(mp3.size());
  int written = lame_init_params(lame) < 0 ? -1
                : shape.tone.channels == 2
                    ? lame_encode_buffer_interleaved(lame, pcm.data(), frames, mp3.data(), room)
                    : lame_encode_buffer(lame, pcm.data(), pcm.data(), frames, mp3.data(), room);
  if (written >= 0) written += lame_encode_flush(lame, mp3.data() + written, room - written);
  mp3.resize(static_cast<std::size_t>(std::max(0, written)));
  // The encoder left room for the tag frame at the start; it is complete only now.
  if (shape.tagFrame && lame_get_lametag_frame(lame, mp3.data(), mp3.size()) == 0) written = -1;
  lame_close(lame);
  if (written <= 0) throw std::runtime_error("libmp3lame could not encode the test file");
  return mp3;
}

Bytes id3v2_tag(std::uint32_t bodyBytes) {
  Bytes tag = {'I', 'D', '3', 4, 0, 0};
  for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(bodyBytes >> shift & 0x7F);
  tag.resize(tag.size() + bodyBytes, 0);
  return tag;
}

std::vector<MpegFrame> mpeg_frames(const Bytes& file, int freeFormatKbps) {
  // Bitrates in kbit/s by index, for MPEG-1 and for MPEG-2 and 2.5.
  constexpr int kKbps[2][16] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
                                {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
  constexpr int kRates[4] = {44100, 48000, 32000, 0};
  std::vector<MpegFrame> frames;
  for (std::size_t at = 0; at + 4 <= file.size() && file[at] == 0xFF && (file[at + 1] & 0xE6) == 0xE2;) {
    // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int version = (file[at + 1] >> 3) & 3;
    const int kbps = file[at + 2] >> 4 ? kKbps[version == 3 ? 0 : 1][file[at + 2] >> 4] : freeFormatKbps;
    const int rate = kRates[(file[at + 2] >> 2) & 3] / (version == 3 ? 1 : version == 2 ? 2 : 4);
    if (version == 1 || kbps == 0 || rate == 0) break;
    const int padding = (file[at + 2] >> 1) & 1;
    const auto bytes = static_cast<std::size_t>((version == 3 ? 144 : 72) * kbps * 1000 / rate + padding);
    if (at + bytes > file.size()) break;
    frames.push_back({at, kbps});
    at += bytes;
  }
  return frames;
}

}  // namespace tunekiln::test
