#include "audiofile/pcm_format.h"

#include <limits>

namespace tunekiln {

std::optional<PcmFormat> PcmFormat::make(std::uint32_t sampleRate, std::uint16_t channels, SampleEncoding encoding) {
  const std::uint64_t byteRate = std::uint64_t{sampleRate} * channels * bytes_per_sample(encoding);
  if (byteRate == 0 || byteRate > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return PcmFormat(sampleRate, channels, encoding, bytes_per_sample(encoding));
}

PcmFormat::PcmFormat(std::uint32_t sampleRate, std::uint16_t channels, SampleEncoding encoding,
                     std::uint32_t bytesPerSample)
    : sampleRate_(sampleRate),
      channels_(channels),
      encoding_(encoding),
      bytesPerSample_(bytesPerSample),
      bytesPerFrame_(bytesPerSample * channels),
      bytesPerSecond_(bytesPerSample * channels * sampleRate) {}

std::string describe_encoding(SampleEncoding encoding) {
  const std::string bits = std::to_string(8 * bytes_per_sample(encoding)) + "-bit ";
  switch (encoding) {
    case SampleEncoding::float32:
    case SampleEncoding::float64:
      return bits + "float";
    default:
      return bits + "PCM";
  }
}

std::optional<SampleEncoding> integer_encoding(std::uint32_t bits) {
  switch (bits) {
    case 8:
      return SampleEncoding::unsigned8;
    case 16:
      return SampleEncoding::signed16;
    case 24:
      return SampleEncoding::signed24;
    case 32:
      return SampleEncoding::signed32;
    default:
      return std::nullopt;
  }
}

}  // namespace tunekiln
