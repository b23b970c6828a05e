#include "tests/support/mp3_maker.h"

#include <lame/lame.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace tunekiln::test {

std::vector<std::int16_t> make_tone(const ToneShape& tone) {
  const auto frames = static_cast<std::size_t>(tone.seconds * tone.sampleRate);
  std::vector<std::int16_t> samples(frames * static_cast<std::size_t>(tone.channels));
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / tone.sampleRate;
    for (int channel = 0; channel < tone.channels; ++channel) {
      const double frequency = channel == 0 ? tone.leftFrequency : tone.rightFrequency;
      const double value = tone.amplitude * 32767.0 * std::sin(2 * std::numbers::pi * frequency * t);
      samples[i * static_cast<std::size_t>(tone.channels) + static_cast<std::size_t>(channel)] =
          static_cast<std::int16_t>(std::lround(value));
    }
  }
  return samples;
}

Bytes little_endian_bytes(const std::vector<std::int16_t>& samples) {
  Bytes bytes;
  bytes.reserve(samples.size() * 2);
  for (const auto sample : samples) {
    bytes.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  return bytes;
}

Bytes make_mp3(const Mp3Shape& shape) {
  lame_global_flags* lame = lame_init();
  if (lame == nullptr) throw std::runtime_error("lame_init failed");
  lame_set_in_samplerate(lame, shape.tone.sampleRate);
  lame_set_out_samplerate(lame, shape.tone.sampleRate);  // no resampling: the decoder sees the tone's rate
  lame_set_num_channels(lame, shape.tone.channels);
  lame_set_mode(lame, shape.tone.channels == 1 ? MONO : JOINT_STEREO);
  lame_set_quality(lame, 7);  // fast; the tests look at the decoder, not at the encoding's quality
  if (shape.variableBitrate) {
    lame_set_VBR(lame, vbr_default);
  } else {
    lame_set_brate(lame, shape.kbps);
  }
  lame_set_bWriteVbrTag(lame, shape.tagFrame ? 1 : 0);
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    throw std::runtime_error("lame_init_params refused the test file's shape");
  }

  const auto pcm = make_tone(shape.tone);
  const int frames = static_cast<int>(pcm.size() / static_cast<std::size_t>(shape.tone.channels));
  Bytes mp3(static_cast<std::size_t>(frames) * 5 / 4 + 7200 + 16384);
  int written = 0;
  if (shape.tone.channels == 2) {
    written = lame_encode_buffer_interleaved(lame, const_cast<short*>(pcm.data()), frames, mp3.data(),
                                             static_cast<int>(mp3.size()));
  } else {
    written = lame_encode_buffer(lame, pcm.data(), pcm.data(), frames, mp3.data(), static_cast<int>(mp3.size()));
  }
  if (written < 0) throw std::runtime_error("lame_encode_buffer failed");
  const int flushed = lame_encode_flush(lame, mp3.data() + written, static_cast<int>(mp3.size()) - written);
  if (flushed < 0) throw std::runtime_error("lame_encode_flush failed");
  mp3.resize(static_cast<std::size_t>(written + flushed));
  if (shape.tagFrame) {
    // The encoder left room for the tag frame at the start; it is complete only now.
    const std::size_t tagBytes = lame_get_lametag_frame(lame, mp3.data(), mp3.size());
    if (tagBytes == 0 || tagBytes > mp3.size()) throw std::runtime_error("no LAME tag frame");
  }
  lame_close(lame);
  return mp3;
}

Bytes id3v2_tag(std::uint32_t bodyBytes) {
  Bytes tag = {'I', 'D', '3', 4, 0, 0};
  for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<std::uint8_t>((bodyBytes >> shift) & 0x7F));
  tag.resize(tag.size() + bodyBytes, 0);
  return tag;
}

namespace {

// Bitrates in kbit/s by index, for MPEG-1 and for MPEG-2 and 2.5, layer III.
constexpr int kBitratesMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kRatesMpeg1[3] = {44100, 48000, 32000};

struct FrameHeader {
  bool valid = false;
  int version = 0;  // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
  int kbps = 0;
  int sampleRate = 0;
  int channels = 0;
  std::size_t bytes = 0;
};

FrameHeader parse_header(const Bytes& file, std::size_t at) {
  FrameHeader header;
  if (at + 4 > file.size() || file[at] != 0xFF || (file[at + 1] & 0xE0) != 0xE0) return header;
  const int versionBits = (file[at + 1] >> 3) & 3;
  const int layerBits = (file[at + 1] >> 1) & 3;
  const int bitrateIndex = file[at + 2] >> 4;
  const int rateIndex = (file[at + 2] >> 2) & 3;
  const int padding = (file[at + 2] >> 1) & 1;
  if (versionBits == 1 || layerBits != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return header;
  header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  header.kbps = header.version == 1 ? kBitratesMpeg1[bitrateIndex] : kBitratesMpeg2[bitrateIndex];
  header.sampleRate = kRatesMpeg1[rateIndex] / (header.version == 1 ? 1 : header.version == 2 ? 2 : 4);
  header.channels = (file[at + 3] >> 6) == 3 ? 1 : 2;
  const int perFrame = header.version == 1 ? 144 : 72;
  header.bytes = static_cast<std::size_t>(perFrame * header.kbps * 1000 / header.sampleRate + padding);
  header.valid = true;
  return header;
}

}  // namespace

MpegFrames walk_mpeg_frames(const Bytes& file, std::size_t start) {
  MpegFrames frames;
  for (std::size_t at = start;;) {
    const FrameHeader header = parse_header(file, at);
    if (!header.valid || at + header.bytes > file.size()) break;
    if (frames.offsets.empty()) {
      frames.samplesPerFrame = header.version == 1 ? 1152 : 576;
      frames.sampleRate = header.sampleRate;
      frames.channels = header.channels;
    }
    frames.offsets.push_back(at);
    frames.kbps.push_back(header.kbps);
    at += header.bytes;
  }
  return frames;
}

XingFields read_xing(const Bytes& file, std::size_t frameOffset) {
  XingFields xing;
  const FrameHeader header = parse_header(file, frameOffset);
  if (!header.valid) return xing;
  // The side information lies between the 4-byte header and the Xing header.
  const std::size_t sideInfo = header.version == 1 ? (header.channels == 1 ? 17 : 32) : (header.channels == 1 ? 9 : 17);
  std::size_t at = frameOffset + 4 + sideInfo;
  const auto be32 = [&file](std::size_t offset) {
    return static_cast<std::uint32_t>(file.at(offset)) << 24 | static_cast<std::uint32_t>(file.at(offset + 1)) << 16 |
           static_cast<std::uint32_t>(file.at(offset + 2)) << 8 | file.at(offset + 3);
  };
  if (be32(at) != 0x58696e67) return xing;  // "Xing"
  xing.present = true;
  xing.flags = be32(at + 4);
  at += 8;
  if (xing.flags & 1) {
    xing.frames = be32(at);
    at += 4;
  }
  if (xing.flags & 2) at += 4;
  if (xing.flags & 4) xing.toc.assign(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + 100));
  return xing;
}

}  // namespace tunekiln::test
