#include "encoder/audio_input.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "audiofile/wave_header.h"
#include "encoder/encoder_texts.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

// libmp3lame keeps float samples beyond full scale, but from about twice full scale on its
// frames come out broken; this leaves room for a clipped square wave's overshoot.
constexpr float kRealLimit = 1.5f;

// Widening runs from the last sample to the first, so that no value covers bytes still to be
// read. One loop per width and byte order keeps the reader far below the encoder's cost.
template <std::size_t Width, bool BigEndian>
void widen(const std::uint8_t* bytes, std::int32_t* values, std::size_t count) {
  for (std::size_t i = count; i-- > 0;) {
    const std::uint8_t* sample = bytes + i * Width;
    std::uint32_t value = 0;
    for (std::size_t b = 0; b < Width; ++b) value = value << 8 | (BigEndian ? sample[b] : sample[Width - 1 - b]);
    values[i] = static_cast<std::int32_t>(value << (8 * (4 - Width)));
  }
}

// `toSigned` turns unsigned bytes around 128 into signed ones; a signed byte gives what the
// same sound stored unsigned does.
void widen_bytes(const std::uint8_t* bytes, std::int32_t* values, std::size_t count, std::uint8_t toSigned) {
  for (std::size_t i = count; i-- > 0;) {
    const std::uint32_t sample = static_cast<std::uint8_t>(bytes[i] ^ toSigned);
    values[i] = static_cast<std::int32_t>(sample << 24 | 0x007F0000u);
  }
}

template <typename Bits>
Bits load_bits(const std::uint8_t* bytes, bool bigEndian) {
  Bits value = 0;
  for (std::size_t b = 0; b < sizeof(Bits); ++b) {
    value = static_cast<Bits>(value << 8 | (bigEndian ? bytes[b] : bytes[sizeof(Bits) - 1 - b]));
  }
  return value;
}

// Not-a-number reads as silence; anything else is kept within what the encoder can take.
float bounded_real(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<float>(std::clamp(value, double{-kRealLimit}, double{kRealLimit}));
}

// Splits interleaved values into the two channels, a value without its partner dropped.
template <typename Value, std::size_t N>
std::size_t deinterleave(const Value* values, std::size_t count, std::size_t channels,
                         std::array<Value, N>& left, std::array<Value, N>& right) {
  const std::size_t samples = count / channels;
  if (channels == 2) {
    for (std::size_t i = 0; i < samples; ++i) {
      left[i] = values[2 * i];
      right[i] = values[2 * i + 1];
    }
  } else {
    std::copy_n(values, samples, left.begin());
    std::fill_n(right.begin(), samples, Value{});
  }
  return samples;
}

// Up to `count` bytes from the input's position on; nothing when the read failed, or a decoded
// input could not be decoded on.
std::optional<std::size_t> read_input(AudioInput& input, void* bytes, std::size_t count) {
  const auto got = input.reader->readAt(input.position, bytes, count);
  if (got.status != AudioFileResult::ok && got.status != AudioFileResult::endOfData) return std::nullopt;
  input.position += got.bytes;
  return got.bytes;
}

std::optional<std::size_t> read_failed(AudioInput& input) {
  input.failure = InputFailure{texts::kReadError, input.damage};
  return std::nullopt;
}

}  // namespace

bool open_audio_input(AudioInput& input, lame_t encoder, const std::string& path) {
  const OpenedFile file = open_audio_file(path);
  if (!file.reader) {
    input.failure = InputFailure{format_text(texts::kCouldNotFind, path.c_str())};
    return false;
  }
  return attach_audio_input(input, encoder, file);
}

std::optional<std::size_t> read_audio_frame(AudioInput& input, lame_t encoder, FrameSamples& frame) {
  const auto channels = static_cast<std::size_t>(lame_get_num_channels(encoder));
  std::size_t toRead = std::min<std::size_t>(static_cast<std::size_t>(lame_get_framesize(encoder)), kMaxFrameSamples);
  if (input.framesLeft) toRead = static_cast<std::size_t>(std::min<std::uint64_t>(toRead, *input.framesLeft));

  std::size_t samples = 0;
  if (input.realSamples()) {
    std::array<float, 2 * kMaxFrameSamples> values;
    const auto read = read_real_block(input, values.data(), toRead * channels);
    if (!read) return std::nullopt;
    samples = deinterleave(values.data(), *read, channels, frame.realLeft, frame.realRight);
  } else {
    std::array<std::int32_t, 2 * kMaxFrameSamples> values;
    const auto read = read_pcm_block(input, values.data(), toRead * channels);
    if (!read) return std::nullopt;
    samples = deinterleave(values.data(), *read, channels, frame.left, frame.right);
  }
  if (!input.framesLeft) return samples;
  // The header's length was checked against the file's size when it was opened: a file that
  // ends sooner has been cut short since, and what was encoded is not the whole input.
  if (samples < toRead) return read_failed(input);
  *input.framesLeft -= samples;
  return samples;
}

std::optional<std::size_t> read_pcm_block(AudioInput& input, std::int32_t* values, std::size_t count) {
  const std::uint32_t width = bytes_per_sample(input.encoding);
  auto* bytes = reinterpret_cast<std::uint8_t*>(values);
  const auto got = read_input(input, bytes, count * width);
  if (!got) return read_failed(input);
  const std::size_t read = *got / width;
  switch (input.encoding) {
    case SampleEncoding::unsigned8:
      widen_bytes(bytes, values, read, input.signedBytes ? 0x00 : 0x80);
      break;
    case SampleEncoding::signed16:
      input.bigEndian ? widen<2, true>(bytes, values, read) : widen<2, false>(bytes, values, read);
      break;
    case SampleEncoding::signed24:
      input.bigEndian ? widen<3, true>(bytes, values, read) : widen<3, false>(bytes, values, read);
      break;
    default:
      input.bigEndian ? widen<4, true>(bytes, values, read) : widen<4, false>(bytes, values, read);
      break;
  }
  return read;
}

std::optional<std::size_t> read_real_block(AudioInput& input, float* values, std::size_t count) {
  const std::uint32_t width = bytes_per_sample(input.encoding);
  std::array<std::uint8_t, 2 * kMaxFrameSamples * sizeof(double)> bytes;
  count = std::min<std::size_t>(count, bytes.size() / width);
  const auto got = read_input(input, bytes.data(), count * width);
  if (!got) return read_failed(input);
  const std::size_t read = *got / width;
  for (std::size_t i = 0; i < read; ++i) {
    const std::uint8_t* sample = bytes.data() + i * width;
    values[i] = bounded_real(input.encoding == SampleEncoding::float32
                                 ? std::bit_cast<float>(load_bits<std::uint32_t>(sample, input.bigEndian))
                                 : std::bit_cast<double>(load_bits<std::uint64_t>(sample, input.bigEndian)));
  }
  return read;
}

}  // namespace tunekiln
