#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tunekiln {

// How one sample is stored. Integer samples are little-endian in WAV files; 8-bit ones are
// unsigned around 128, wider ones signed.
enum class SampleEncoding {
  unsigned8,
  signed16,
  signed24,
  signed32,
  float32,  // IEEE 754, full scale at ±1.0
  float64,
};

// The shape of interleaved PCM: made once from a header, checked, and read by everyone who
// needs a size. A frame is one sample of every channel.
class PcmFormat {
 public:
  // Nothing for a rate or channel count of 0, or a byte rate beyond 32 bits (no file states one).
  static std::optional<PcmFormat> make(std::uint32_t sampleRate, std::uint16_t channels, SampleEncoding encoding);

  std::uint32_t sampleRate() const { return sampleRate_; }
  std::uint16_t channels() const { return channels_; }
  SampleEncoding encoding() const { return encoding_; }
  std::uint32_t bitsPerSample() const { return 8 * bytesPerSample_; }
  std::uint32_t bytesPerSample() const { return bytesPerSample_; }
  std::uint32_t bytesPerFrame() const { return bytesPerFrame_; }
  std::uint32_t bytesPerSecond() const { return bytesPerSecond_; }
  bool isFloat() const { return encoding_ == SampleEncoding::float32 || encoding_ == SampleEncoding::float64; }
  // The two encodings every part of the program handled from the start.
  bool isEightOrSixteenBit() const {
    return encoding_ == SampleEncoding::unsigned8 || encoding_ == SampleEncoding::signed16;
  }

  bool operator==(const PcmFormat&) const = default;

 private:
  PcmFormat(std::uint32_t sampleRate, std::uint16_t channels, SampleEncoding encoding, std::uint32_t bytesPerSample);

  std::uint32_t sampleRate_;
  std::uint16_t channels_;
  SampleEncoding encoding_;
  std::uint32_t bytesPerSample_;
  std::uint32_t bytesPerFrame_;
  std::uint32_t bytesPerSecond_;
};

// Inline and constant, so that sample loops built for one encoding fold it.
constexpr std::uint32_t bytes_per_sample(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::unsigned8:
      return 1;
    case SampleEncoding::signed16:
      return 2;
    case SampleEncoding::signed24:
      return 3;
    case SampleEncoding::signed32:
    case SampleEncoding::float32:
      return 4;
    case SampleEncoding::float64:
      return 8;
  }
  return 0;
}

// The integer encoding of samples `bits` wide (8-bit ones unsigned, as WAV files store them);
// nothing for a width no loop reads.
std::optional<SampleEncoding> integer_encoding(std::uint32_t bits);

// "24-bit PCM", "32-bit float": the encoding in the words of a reason line.
std::string describe_encoding(SampleEncoding encoding);

}  // namespace tunekiln
