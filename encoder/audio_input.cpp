#include "encoder/audio_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <limits>

#include "encoder/byte_order.h"
#include "encoder/encoder_texts.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

// The sample count that stands for "no header gave a length".
constexpr std::uint32_t kUnknownSampleCount = 0xFFFFFFFF;

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

// Unsigned around 128.
void widen_unsigned_bytes(const std::uint8_t* bytes, std::int32_t* values, std::size_t count) {
  for (std::size_t i = count; i-- > 0;) values[i] = static_cast<std::int32_t>((bytes[i] ^ 0x80u) << 24 | 0x007F0000u);
}

}  // namespace

bool open_audio_input(AudioInput& input, lame_t encoder, const std::string& path) {
  auto source = open_file_source(path);
  if (!source) {
    input.failure = InputFailure{format_text(texts::kCouldNotFind, path.c_str())};
    return false;
  }
  return attach_audio_input(input, encoder, std::move(source), input_file_size(path));
}

bool attach_audio_input(AudioInput& input, lame_t encoder, std::unique_ptr<ByteSource> source,
                        std::int32_t sizeBytes) {
  input.countExactly = false;
  input.samplesReadSoFar = 0;
  input.pcmBitWidth = 16;
  input.pcmSwapBytes = false;
  input.sampleRateUsable = true;
  input.failure.reset();
  lame_set_num_samples(encoder, kUnknownSampleCount);
  input.inputStream = std::move(source);

  if (!detect_input_type(input, encoder)) return false;
  if (input.inputType == INPUT_RAW) std::fprintf(input.messages, "%s\n", texts::kAssumingRaw);
  if (lame_get_num_samples(encoder) == kUnknownSampleCount && sizeBytes >= 0) {
    // Only raw input gets here, with the encoder's default of two 16-bit channels.
    const auto bytesPerFrame = static_cast<std::uint32_t>(lame_get_num_channels(encoder)) * 2;
    lame_set_num_samples(encoder, static_cast<std::uint32_t>(sizeBytes) / bytesPerFrame);
  }
  return true;
}

bool detect_input_type(AudioInput& input, lame_t encoder) {
  const std::int32_t id = read_int32_be(*input.inputStream);
  input.countExactly = false;
  input.inputType = INPUT_RAW;
  HeaderVerdict verdict = HeaderVerdict::refused;
  if (id == chunk_id("RIFF")) {
    verdict = parse_wave_chunks(input, encoder);
    if (verdict == HeaderVerdict::accepted) input.inputType = INPUT_WAVE;
    if (verdict == HeaderVerdict::refused) std::fputs(texts::kCorruptWave, input.messages);
  } else if (id == chunk_id("FORM")) {
    verdict = parse_aiff_chunks(input, encoder);
    if (verdict == HeaderVerdict::accepted) input.inputType = INPUT_AIFF;
  }
  switch (verdict) {
    case HeaderVerdict::accepted:
      input.countExactly = true;
      return true;
    case HeaderVerdict::refused:
      // Raw input is big-endian whatever a refused AIFC header said about its byte order.
      input.pcmSwapBytes = false;
      input.inputStream->seek(0, SeekOrigin::begin);
      return true;
    case HeaderVerdict::failed:
      return false;
  }
  return false;
}

std::optional<std::size_t> read_audio_frame(AudioInput& input, lame_t encoder,
                                            std::span<std::int32_t, kMaxFrameSamples> left,
                                            std::span<std::int32_t, kMaxFrameSamples> right) {
  const auto channels = static_cast<std::size_t>(lame_get_num_channels(encoder));
  const auto total = static_cast<std::uint32_t>(lame_get_num_samples(encoder));
  std::size_t toRead = std::min<std::size_t>(static_cast<std::size_t>(lame_get_framesize(encoder)), kMaxFrameSamples);
  if (input.countExactly) {
    const std::uint32_t remaining = total - std::min(total, input.samplesReadSoFar);
    // A stored count of 0 means: read on to the end of the file.
    if (remaining < toRead && total != 0) toRead = remaining;
  }

  std::array<std::int32_t, 2 * kMaxFrameSamples> values;
  const auto read = read_pcm_block(input, values.data(), toRead * channels);
  if (!read) return std::nullopt;
  const std::size_t samples = *read / channels;  // a value without its partner is dropped
  if (channels == 2) {
    for (std::size_t i = 0; i < samples; ++i) {
      left[i] = values[2 * i];
      right[i] = values[2 * i + 1];
    }
  } else {
    std::copy_n(values.begin(), samples, left.begin());
    std::fill_n(right.begin(), samples, 0);
  }
  if (total != kUnknownSampleCount) input.samplesReadSoFar += static_cast<std::uint32_t>(samples);
  return samples;
}

std::optional<std::size_t> read_pcm_block(AudioInput& input, std::int32_t* values, std::size_t count) {
  int byteWidth = 1;
  bool bigEndian = false;
  switch (input.pcmBitWidth) {
    case 8:
      break;
    case 16:
    case 24:
    case 32:
      byteWidth = input.pcmBitWidth / 8;
      bigEndian = (input.inputType != INPUT_WAVE) != input.pcmSwapBytes;
      break;
    default:
      input.failure = InputFailure{texts::kUnsupportedWidth};
      return std::nullopt;
  }
  const std::size_t read = unpack_pcm_samples(*input.inputStream, values, count, byteWidth, bigEndian);
  if (input.inputStream->failed()) {
    input.failure = InputFailure{texts::kReadError};
    return std::nullopt;
  }
  return read;
}

std::size_t unpack_pcm_samples(ByteSource& source, std::int32_t* values, std::size_t count, int byteWidth,
                               bool bigEndian) {
  const auto width = static_cast<std::size_t>(byteWidth);
  auto* bytes = reinterpret_cast<std::uint8_t*>(values);
  const std::size_t read = source.read(bytes, count * width) / width;
  switch (byteWidth) {
    case 1:
      widen_unsigned_bytes(bytes, values, read);
      break;
    case 2:
      bigEndian ? widen<2, true>(bytes, values, read) : widen<2, false>(bytes, values, read);
      break;
    case 3:
      bigEndian ? widen<3, true>(bytes, values, read) : widen<3, false>(bytes, values, read);
      break;
    default:
      bigEndian ? widen<4, true>(bytes, values, read) : widen<4, false>(bytes, values, read);
      break;
  }
  return read;
}

bool close_audio_input(AudioInput& input) {
  if (!input.inputStream) return true;
  const bool closed = input.inputStream->close();
  input.inputStream.reset();
  if (!closed) input.failure = InputFailure{texts::kCouldNotClose, 2};
  return closed;
}

std::int32_t input_file_size(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || status.st_size > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(status.st_size);
}

}  // namespace tunekiln
