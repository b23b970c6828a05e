// The two headers the reader understands: RIFF/WAVE and AIFF/AIFC.
#include <cmath>
#include <limits>

#include "encoder/audio_input.h"
#include "encoder/byte_order.h"
#include "encoder/encoder_texts.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

// The WAVE walk looks at this many chunks for "data" before it gives up.
constexpr int kWaveChunkLimit = 20;
constexpr std::int16_t kWavePcm = 1;
constexpr std::int32_t kCommBytes = 18;      // channels, frames, sample size, rate
constexpr std::int32_t kAifcCommBytes = 22;  // and the compression type

// The encoder takes its input sample rate as a 32-bit integer; a rate outside that range has none.
bool fits_int32(double rate) {
  return std::isfinite(rate) && rate > static_cast<double>(std::numeric_limits<std::int32_t>::min()) - 1 &&
         rate < static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1;
}

}  // namespace

HeaderVerdict parse_wave_chunks(AudioInput& input, lame_t encoder) {
  ByteSource& source = *input.inputStream;
  read_int32_le(source);  // the RIFF size says nothing the chunks do not
  if (read_int32_be(source) != chunk_id("WAVE")) return HeaderVerdict::refused;

  std::int16_t formatTag = 0;
  std::int16_t channels = 0;
  std::int32_t sampleRate = 0;
  std::int16_t bitsPerSample = 0;
  std::int32_t dataLength = 0;
  bool dataFound = false;
  for (int round = 0; round < kWaveChunkLimit && !dataFound; ++round) {
    const std::int32_t id = read_int32_be(source);
    if (id == chunk_id("fmt ")) {
      const std::int32_t size = read_int32_le(source);
      if (size < 16) return HeaderVerdict::refused;
      formatTag = read_int16_le(source);
      channels = read_int16_le(source);
      sampleRate = read_int32_le(source);
      read_int32_le(source);  // byte rate
      read_int16_le(source);  // block align
      bitsPerSample = read_int16_le(source);
      if (size > 16 && !skip_input_bytes(source, size - 16, SeekOrigin::current, input.messages)) {
        return HeaderVerdict::refused;
      }
    } else if (id == chunk_id("data")) {
      dataLength = read_int32_le(source);
      dataFound = true;
    } else if (!skip_input_bytes(source, read_int32_le(source), SeekOrigin::current, input.messages)) {
      return HeaderVerdict::refused;
    }
  }
  if (formatTag != kWavePcm || !dataFound) return HeaderVerdict::refused;

  if (channels != 1 && channels != 2) {
    input.failure = InputFailure{format_text(texts::kUnsupportedChannels, static_cast<unsigned>(channels))};
    return HeaderVerdict::failed;
  }
  lame_set_num_channels(encoder, channels);
  lame_set_in_samplerate(encoder, sampleRate);
  input.pcmBitWidth = bitsPerSample;
  const int bytesPerSample = (bitsPerSample + 7) / 8;
  // A width the reader cannot read gets its message at the first read; the count is moot then.
  const std::int32_t samples = bytesPerSample > 0 ? dataLength / (channels * bytesPerSample) : 0;
  lame_set_num_samples(encoder, static_cast<std::uint32_t>(samples));
  return HeaderVerdict::accepted;
}

HeaderVerdict parse_aiff_chunks(AudioInput& input, lame_t encoder) {
  ByteSource& source = *input.inputStream;
  AiffInfo info;
  std::int32_t remaining = read_int32_be(source);
  const std::int32_t formType = read_int32_be(source);
  if (formType != chunk_id("AIFF") && formType != chunk_id("AIFC")) return HeaderVerdict::refused;
  if (remaining <= 0) return HeaderVerdict::refused;
  const bool compressedForm = formType == chunk_id("AIFC");

  while (remaining > 0) {
    const std::int32_t id = read_int32_be(source);
    remaining -= 4;
    if (id == chunk_id("SSND")) {
      read_int32_be(source);  // its size: the samples run to the end of the file
      info.blockOffset = static_cast<std::uint32_t>(read_int32_be(source));
      info.blockSize = static_cast<std::uint32_t>(read_int32_be(source));
      if (!skip_input_bytes(source, info.blockOffset, SeekOrigin::current, input.messages)) {
        return HeaderVerdict::refused;
      }
      info.soundType = chunk_id("SSND");
      if (!check_aiff_sound_data(info, input.messages)) return HeaderVerdict::refused;
      lame_set_num_channels(encoder, info.channels);  // 1 or 2: checked above
      if (fits_int32(info.sampleRate)) {
        lame_set_in_samplerate(encoder, static_cast<int>(info.sampleRate));
      } else {
        input.sampleRateUsable = false;
      }
      input.pcmBitWidth = info.sampleSize;
      lame_set_num_samples(encoder, info.sampleFrames);
      return HeaderVerdict::accepted;
    }

    const std::int32_t size = read_int32_be(source);
    // A negative size or one past the form would walk backwards or far beyond the file.
    if (size < 0 || size > remaining) return HeaderVerdict::refused;
    remaining -= size;
    if (id != chunk_id("COMM")) {
      if (!skip_input_bytes(source, size, SeekOrigin::current, input.messages)) return HeaderVerdict::refused;
      continue;
    }
    const std::int32_t used = compressedForm ? kAifcCommBytes : kCommBytes;
    if (size < used) return HeaderVerdict::refused;
    info.channels = read_int16_be(source);
    info.sampleFrames = static_cast<std::uint32_t>(read_int32_be(source));
    info.sampleSize = read_int16_be(source);
    info.sampleRate = read_ieee_extended_be(source);
    if (compressedForm) {
      const std::int32_t compression = read_int32_be(source);
      if (compression != chunk_id("NONE") && compression != chunk_id("twos") && compression != chunk_id("sowt")) {
        return HeaderVerdict::refused;
      }
      if (info.sampleSize == 16) input.pcmSwapBytes = compression == chunk_id("sowt");
    }
    if (!skip_input_bytes(source, size - used, SeekOrigin::current, input.messages)) return HeaderVerdict::refused;
  }
  return HeaderVerdict::refused;
}

bool check_aiff_sound_data(const AiffInfo& info, std::FILE* messages) {
  if (info.soundType != chunk_id("SSND")) {
    std::fprintf(messages, texts::kNotPcm, texts::kAiffFileWord);
    return false;
  }
  if (info.sampleSize != 16) {
    std::fprintf(messages, texts::kNotSixteenBits, 16, texts::kAiffFileWord);
    return false;
  }
  if (info.channels != 1 && info.channels != 2) {
    std::fprintf(messages, texts::kNotMonoOrStereo, texts::kAiffFileWord);
    return false;
  }
  if (info.blockSize != 0) {
    std::fprintf(messages, texts::kBlockSizeNotZero, texts::kAiffFileWord);
    return false;
  }
  return true;
}

bool skip_input_bytes(ByteSource& source, std::int64_t count, SeekOrigin origin, std::FILE* messages) {
  if (source.seek(count, origin)) return true;
  std::fputs(texts::kSkipProblem, messages);  // a skip to before the start of the file
  return false;
}

}  // namespace tunekiln
