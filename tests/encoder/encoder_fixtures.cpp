#include "tests/encoder/encoder_fixtures.h"

#include <cmath>

namespace tunekiln::test {
namespace {

void put_be(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_id(Bytes& out, const char* id) { out.insert(out.end(), id, id + 4); }

Bytes chunk(const char* id, const Bytes& body) {
  Bytes out;
  put_id(out, id);
  put_be(out, body.size(), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace

std::string CapturedStream::text() const {
  std::fflush(stream_);
  std::string text;
  std::rewind(stream_);
  for (int c; (c = std::fgetc(stream_)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

Bytes ieee_extended(double value) {
  Bytes out;
  if (std::isinf(value)) return {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
  const int exponent = std::ilogb(value);
  put_be(out, static_cast<std::uint64_t>(16383 + exponent), 2);
  put_be(out, static_cast<std::uint64_t>(std::ldexp(value, 63 - exponent)), 8);
  return out;
}

Bytes make_aiff(const AiffShape& shape, const Bytes& samples) {
  const bool compressed = std::string(shape.formType) == "AIFC";
  const auto frameBytes = static_cast<std::size_t>(shape.channels * ((shape.sampleSize + 7) / 8));
  Bytes common;
  put_be(common, static_cast<std::uint16_t>(shape.channels), 2);
  put_be(common, shape.sampleFrames.value_or(static_cast<std::uint32_t>(samples.size() / frameBytes)), 4);
  put_be(common, static_cast<std::uint16_t>(shape.sampleSize), 2);
  const Bytes rate = ieee_extended(shape.sampleRate);
  common.insert(common.end(), rate.begin(), rate.end());
  if (compressed) {
    put_id(common, shape.compression);
    common.insert(common.end(), {0, 0});  // an empty name, padded to an even length
  }
  Bytes sound;
  put_be(sound, 0, 4);  // block offset
  put_be(sound, shape.blockSize, 4);
  sound.insert(sound.end(), samples.begin(), samples.end());

  const Bytes first = shape.soundBeforeCommon ? chunk("SSND", sound) : chunk("COMM", common);
  const Bytes second = shape.soundBeforeCommon ? chunk("COMM", common) : chunk("SSND", sound);
  Bytes body;
  put_id(body, shape.formType);
  body.insert(body.end(), first.begin(), first.end());
  body.insert(body.end(), second.begin(), second.end());
  return chunk("FORM", body);
}

Bytes tone16(int channels, int frames, int sampleRate) {
  Bytes out;
  for (int i = 0; i < frames; ++i) {
    for (int channel = 0; channel < channels; ++channel) {
      const double hertz = channel == 0 ? 440 : 660;
      const auto sample = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * hertz * i / sampleRate));
      out.push_back(static_cast<std::uint8_t>(sample));
      out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(sample) >> 8));
    }
  }
  return out;
}

std::vector<Mp3Frame> mp3_frames(const Bytes& file) {
  static constexpr int kBitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr int kRates[4] = {44100, 48000, 32000, 0};
  std::vector<Mp3Frame> frames;
  for (std::size_t at = 0; at < file.size();) {
    // MPEG-1 layer III only: what 32 to 48 kHz input gives.
    if (file.size() - at < 4 || file[at] != 0xFF || (file[at + 1] & 0xFE) != 0xFA) return {};
    const int bitrate = kBitrates[file[at + 2] >> 4];
    const int rate = kRates[(file[at + 2] >> 2) & 3];
    if (bitrate == 0 || rate == 0) return {};
    const std::size_t length = 144000u * static_cast<unsigned>(bitrate) / static_cast<unsigned>(rate) +
                               ((file[at + 2] >> 1) & 1);
    frames.push_back({at, bitrate, rate, file[at + 3] >> 6, length});
    at += length;
  }
  return frames;
}

}  // namespace tunekiln::test
