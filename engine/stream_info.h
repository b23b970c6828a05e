#pragma once

#include <cstdint>

namespace tunekiln {

// What a decoder tells about its stream; the engine hands it on with every INFO notification.
struct StreamInfo {
  std::int32_t lengthSeconds = 0;  // whole seconds; an estimate for MP3
  std::int32_t bitrateKbps = 0;    // of the last decoded frame; 0 for WAV input
  std::int32_t sampleRate = 0;     // frames per second
  std::int32_t stereo = 0;         // 1: two channels, 0: one
  std::int32_t sixteenBit = 0;     // 1: 16-bit samples, 0: 8-bit samples
  // The samples as the file stores them, which a wider one is converted from: 8, 16, 24, 32
  // or 64 bits; 0 for compressed input (MP3).
  std::int32_t bitsPerSample = 0;
  std::int32_t floatSamples = 0;  // 1: the file stores IEEE float samples

  bool operator==(const StreamInfo&) const = default;
};

}  // namespace tunekiln
